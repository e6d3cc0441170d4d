#include <gtest/gtest.h>

#include "library/DistinguishedKinds.h"

namespace kelvara {
namespace {

TEST(DistinguishedKinds, LibraryValuesMapToTheFrameworkNumberingOrZero) {
    const std::vector<std::pair<std::int64_t, unsigned>> table = {
        {2, 1},
        {3, 2},
        {4, 3},
        {5, 4},
        {6, 5},
        {7, 1},
        {10, 7},
        {17, 14},
        {18, 51},
        {19, 16},
        {20, 16},
        {31, 26},
        {47, 49},
        {48, 50},
        {50, 4},
        {57, 4},
        {58, 4},
        {59, 4},
        {200, 42},
        {201, 43},
        {202, 44},
        {203, 45},
        {204, 46},
        {205, 47},
        {206, 48},
        // No counterpart: 22 iTunes DJ, 26 Genius (the rules' 26 is iTunes U), 65 to 67 Downloaded.
        {0, 0},
        {1, 0},
        {8, 0},
        {22, 0},
        {26, 0},
        {65, 0},
        {66, 0},
        {67, 0},
        {207, 0},
        {-4, 0},
        {4294967300LL, 0},
    };
    for (const auto& [xml, kind] : table) {
        EXPECT_EQ(distinguishedKindFromLibraryValue(xml), kind) << "XML " << xml;
    }
}

}  // namespace
}  // namespace kelvara
