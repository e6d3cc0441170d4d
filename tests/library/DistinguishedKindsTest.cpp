#include "library/DistinguishedKinds.h"

#include <gtest/gtest.h>

namespace kelvara {
namespace {

TEST(DistinguishedKinds, LibraryValuesMapToTheFrameworkNumbering) {
    const std::vector<std::pair<std::int64_t, unsigned>> table = {
        {2, 1},   {3, 2},   {4, 3},   {5, 4},   {6, 5},   {7, 1},   {10, 7},  {17, 14},
        {18, 51}, {19, 16}, {20, 16}, {31, 26}, {47, 49}, {48, 50}, {50, 4},  {57, 4},
        {58, 4},  {59, 4},  {200, 42}, {201, 43}, {202, 44}, {203, 45}, {204, 46}, {205, 47},
        {206, 48},
    };
    for (const auto& [xml, framework] : table) {
        EXPECT_EQ(distinguishedKindFromLibraryValue(xml), framework) << "XML " << xml;
    }
}

TEST(DistinguishedKinds, ListsWithoutACounterpartAreZero) {
    // 22 iTunes DJ, 26 Genius (framework 26 is iTunes U), 65 to 67 Downloaded.
    for (const std::int64_t xml : std::initializer_list<std::int64_t>{0, 1, 8, 22, 26, 65, 66, 67, 207, -4, 4294967300LL}) {
        EXPECT_EQ(distinguishedKindFromLibraryValue(xml), 0u) << "XML " << xml;
    }
}

}  // namespace
}  // namespace kelvara
