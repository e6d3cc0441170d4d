#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/KvrItunesMAnager.h"
#include "library/MediaLibraryReader.h"
#include "platform/Diagnostics.h"
#include "support/TestSupport.h"

namespace kelvara {
namespace {

using test::libraryXml;
using test::trackXml;

std::unique_ptr<MediaLibrary> libraryOf(const std::vector<std::string>& titles) {
    std::string tracks;
    for (std::size_t i = 0; i < titles.size(); ++i)
        tracks +=
            trackXml(static_cast<int>(i + 1), "<key>Name</key><string>" + titles[i] + "</string>");
    auto library = MediaLibraryReader({}).readText(libraryXml(tracks), "session.xml");
    EXPECT_TRUE(library.ok()) << library.message();
    return library.ok() ? std::move(*library) : nullptr;
}

class LibrarySession : public ::testing::Test {
  protected:
    void SetUp() override { KvrItunesMAnager::sharedManager().reset(); }
    void TearDown() override {
        KvrItunesMAnager::sharedManager().reset();
        setDiagnosticSink({});
    }
};

// A reload replaces the session's library; whoever still works with the old one keeps it whole.
TEST_F(LibrarySession, ALibraryHandedOutOutlivesTheReloadThatReplacesIt) {
    auto& session = KvrItunesMAnager::sharedManager();
    session.setLibrary(libraryOf({"First", "Second"}));
    const auto held = session.library();
    session.setLibrary(libraryOf({"Other"}));
    session.reset();

    ASSERT_TRUE(held);
    ASSERT_EQ(held->allMediaItems().size(), 2u);
    EXPECT_EQ(held->allMediaItems()[1]->title(), "Second");
    ASSERT_TRUE(session.library() == nullptr);
}

// A library that could not be opened is reported once through the diagnostic sink.
TEST_F(LibrarySession, AFailedOpenGoesToTheDiagnosticsAndLeavesNoLibrary) {
    std::vector<std::string> lines;
    setDiagnosticSink([&lines](std::string_view line) { lines.emplace_back(line); });
    auto& session = KvrItunesMAnager::sharedManager();
    session.setLibrary(libraryOf({"Old"}));
    session.setLibrary(nullptr, "The library file \"x.xml\" is empty");

    EXPECT_TRUE(session.library() == nullptr);
    EXPECT_EQ(lines, std::vector<std::string>{"error: The library file \"x.xml\" is empty"});
}

}  // namespace
}  // namespace kelvara
