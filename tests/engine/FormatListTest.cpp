#include <gtest/gtest.h>

#include "engine/MetadataToken.h"

namespace kelvara {
namespace {

TEST(FormatList, ParsesTokensInAngleBracketsAndKeepsTextBetween) {
    auto format = FormatList::parse("<track no>. <Title> (<Disk NO>)");
    ASSERT_TRUE(format.ok()) << format.message();
    EXPECT_EQ(format->elements(),
              (std::vector<FormatList::Element>{MetadataToken{"Track NO"}, std::string(". "),
                                                MetadataToken{"Title"}, std::string(" ("),
                                                MetadataToken{"Disk NO"}, std::string(")")}));
    EXPECT_EQ(format->toText(), "<Track NO>. <Title> (<Disk NO>)");
    EXPECT_TRUE(format->hasTitle());
}

TEST(FormatList, RejectsUnknownTokenAndDropsSlashesFromText) {
    const auto unknown = FormatList::parse("<Year> <Title>");
    EXPECT_FALSE(unknown.ok());
    EXPECT_NE(unknown.message().find("<Year>"), std::string::npos);

    auto format = FormatList::parse("../<Title>/x");
    ASSERT_TRUE(format.ok());
    EXPECT_EQ(format->toText(), "..<Title>x");
    // An unclosed bracket is plain text.
    EXPECT_EQ(FormatList::parse("<Title> <oops")->toText(), "<Title> <oops");
}

TEST(FormatList, StoredFormRoundTripsAndIsMadeSafe) {
    const FormatList format = FormatList::defaultFormat();
    const auto json = format.toJson();
    EXPECT_EQ(
        json.dump(),
        R"([{"token":"Track NO"},". ",{"token":"Artist"}," - ",{"token":"Album"}," - ",{"token":"Title"}])");
    EXPECT_EQ(FormatList::fromJson(json), format);

    auto hostile = FormatList::fromJson(
        nlohmann::json::parse(R"(["../../etc/", {"token":"Title"}, 7, {"x":1}])"));
    ASSERT_TRUE(hostile);
    EXPECT_EQ(hostile->toText(), "....etc<Title>");
    EXPECT_FALSE(FormatList::fromJson(nlohmann::json("text")));
}

TEST(FormatList, ControlCharactersNeverReachAName) {
    // A NUL would end every file name at that point, and all songs would share one name.
    const auto stored = nlohmann::json::parse(
        R"([{"token":"Track NO"}, "\u0000. \u0001\t\n", {"token":"Ti\u0000tle"}, "\u001f-\u007f-\u0085-\u009f-\u00a0-\u2028", "\u0000"])");
    auto format = FormatList::fromJson(stored);
    ASSERT_TRUE(format);
    EXPECT_EQ(format->toText(), "<Track NO>. <Title>----\u00a0-\u2028");
    EXPECT_TRUE(format->hasTitle());
    EXPECT_EQ(FormatList::parse("<Title>\x01\r\n- x\x7f")->toText(), "<Title>- x");
    // Removing a byte must not join its neighbours into a new control character (C2 80 is U+0080).
    for (const char* text : {"\xC2\x01\x80<Title>",
                             "a\xC2/\x80"
                             "b<Title>"}) {
        const std::string once = FormatList::parse(text)->toText();
        EXPECT_EQ(FormatList::parse(once)->toText(), once) << text;
        EXPECT_EQ(once.find("\xC2\x80"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace kelvara
