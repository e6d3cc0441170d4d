#include <gtest/gtest.h>

#include "engine/MetadataToken.h"

namespace kelvara {
namespace {

TEST(FormatList, ParsesTokensInAngleBracketsAndKeepsTextBetween) {
    std::string error;
    auto format = FormatList::parse("<track no>. <Title> (<Disk NO>)", error);
    ASSERT_TRUE(format) << error;
    EXPECT_EQ(format->elements(),
              (std::vector<FormatList::Element>{MetadataToken{"Track NO"}, std::string(". "),
                                                MetadataToken{"Title"}, std::string(" ("),
                                                MetadataToken{"Disk NO"}, std::string(")")}));
    EXPECT_EQ(format->toText(), "<Track NO>. <Title> (<Disk NO>)");
    EXPECT_TRUE(format->hasTitle());
}

TEST(FormatList, RejectsUnknownTokenAndDropsSlashesFromText) {
    std::string error;
    EXPECT_FALSE(FormatList::parse("<Year> <Title>", error));
    EXPECT_NE(error.find("<Year>"), std::string::npos);

    auto format = FormatList::parse("../<Title>/x", error);
    ASSERT_TRUE(format);
    EXPECT_EQ(format->toText(), "..<Title>x");
    // An unclosed bracket is plain text.
    EXPECT_EQ(FormatList::parse("<Title> <oops", error)->toText(), "<Title> <oops");
}

TEST(FormatList, StoredFormRoundTripsAndIsMadeSafe) {
    const FormatList format = FormatList::defaultFormat();
    const auto json = format.toJson();
    EXPECT_EQ(json.dump(),
              R"([{"token":"Track NO"},". ",{"token":"Artist"}," - ",{"token":"Album"}," - ",{"token":"Title"}])");
    EXPECT_EQ(FormatList::fromJson(json), format);

    auto hostile = FormatList::fromJson(nlohmann::json::parse(R"(["../../etc/", {"token":"Title"}, 7, {"x":1}])"));
    ASSERT_TRUE(hostile);
    EXPECT_EQ(hostile->toText(), "....etc<Title>");
    EXPECT_FALSE(FormatList::fromJson(nlohmann::json("text")));
}

}  // namespace
}  // namespace kelvara
