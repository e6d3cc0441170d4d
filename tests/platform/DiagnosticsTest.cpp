#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/Diagnostics.h"
#include "platform/PreferencesStore.h"
#include "support/TestSupport.h"

using namespace kelvara;

// Core warnings reach the sink the front end installed, whole lines without the newline, from
// any thread; resetting the sink brings back standard error.
TEST(Diagnostics, LinesGoToTheInstalledSinkFromAnyThread) {
    std::vector<std::string> lines;
    setDiagnosticSink([&](std::string_view line) { lines.emplace_back(line); });
    test::TempDir dir;
    test::writeFile(dir / "preferences.json", "{ not json");
    PreferencesStore store(dir / "preferences.json");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("kelvara: warning: the preferences file \"" +
                                 (dir / "preferences.json").string() +
                                 "\" is not valid JSON; it was moved to ",
                             0),
              0u)
        << lines[0];
    EXPECT_EQ(lines[0].back(), '.');

    lines.clear();
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([] {
            for (int j = 0; j < 100; ++j) diagnostic("x");
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(lines.size(), 400u);
    setDiagnosticSink(nullptr);
}
