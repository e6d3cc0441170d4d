#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/TestSupport.h"

namespace kelvara {
namespace {

namespace fs = std::filesystem;

// A preferences file the program cannot use never stops a command and is never replaced.
struct OptionsCommand : testing::Test {
    test::TempDir dir;
    fs::path config = dir / "config";
    fs::path file = config / "preferences.json";

    test::CommandResult options(std::vector<std::string> args) {
        args.insert(args.begin(), {"--config-dir", config.string(), "options"});
        return test::runCli(args);
    }
};

TEST_F(OptionsCommand, ValuesNestedWithoutLimitAreMovedAsideNotFatal) {
    test::writeFile(
        file, "{\"TracksOrder\": " + std::string(100000, '[') + std::string(100000, ']') + "}");
    const auto result = options({});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("TracksOrder"), std::string::npos);
    EXPECT_NE(result.err.find("not valid JSON"), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(OptionsCommand, AFifoIsNamedReadAsDefaultsAndNotReplaced) {
    fs::create_directories(config);
    ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
    auto result = options({});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find(file.string() + " is a FIFO"), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;

    result = options({"set", "LineEnding", "1"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("not saving"), std::string::npos) << result.err;
    EXPECT_EQ(fs::status(file).type(), fs::file_type::fifo);
}

TEST_F(OptionsCommand, SavingThatFailsEndsWithAnErrorAlsoForRoot) {
    test::writeFile(config, "a plain file where the folder should be");
    const auto result = options({"set", "LineEnding", "1"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find(config.string()), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
}

}  // namespace
}  // namespace kelvara
