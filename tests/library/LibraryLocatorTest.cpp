#include <gtest/gtest.h>

#include <cstdlib>

#include "library/LibraryLocator.h"
#include "platform/PreferencesStore.h"
#include "support/TestSupport.h"

namespace kelvara {
namespace {

// Each test runs with its own home, preferences folder and no $KELVARA_LIBRARY.
class LibraryLocatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"HOME", "KELVARA_LIBRARY"}) {
            if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
        }
        ::setenv("HOME", home_.path().c_str(), 1);
        ::unsetenv("KELVARA_LIBRARY");
        PreferencesStore::useDirectory(config_.path());
    }
    void TearDown() override {
        ::unsetenv("KELVARA_LIBRARY");
        for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
        PreferencesStore::useDirectory(PreferencesStore::defaultDirectory());
    }
    std::filesystem::path placeInHome(const std::string& relative) {
        const auto file = home_.path() / relative;
        std::filesystem::create_directories(file.parent_path());
        test::writeFile(file, "<plist/>");
        return file;
    }

    test::TempDir home_, config_;
    std::vector<std::pair<std::string, std::string>> saved_;
};

// The file found, or none.
std::optional<std::filesystem::path> found(
    const std::optional<std::filesystem::path>& commandLine) {
    auto file = LibraryLocator::find(commandLine);
    if (!file.ok()) return std::nullopt;
    return *file;
}

TEST_F(LibraryLocatorTest, CommandLineThenPreferenceThenEnvironmentThenUsualPlaces) {
    placeInHome("Music/Library.xml");
    EXPECT_EQ(found(std::nullopt), home_.path() / "Music/Library.xml");
    placeInHome("Music/Music/Library.xml");
    EXPECT_EQ(found(std::nullopt), home_.path() / "Music/Music/Library.xml");
    placeInHome("Music/iTunes/iTunes Library.xml");
    EXPECT_EQ(found(std::nullopt), home_.path() / "Music/iTunes/iTunes Library.xml");
    placeInHome("Music/iTunes/iTunes Music Library.xml");
    EXPECT_EQ(found(std::nullopt), home_.path() / "Music/iTunes/iTunes Music Library.xml");

    ::setenv("KELVARA_LIBRARY", "/from/environment.xml", 1);
    EXPECT_EQ(found(std::nullopt), "/from/environment.xml");
    PreferencesStore::standardUserDefaults().setString("LibraryPath", "/from/preference.xml");
    EXPECT_EQ(found(std::nullopt), "/from/preference.xml");
    EXPECT_EQ(found(std::filesystem::path("/from/command-line.xml")), "/from/command-line.xml");
}

TEST_F(LibraryLocatorTest, NothingFoundListsWhatWasTried) {
    const auto file = LibraryLocator::find(std::nullopt);
    EXPECT_FALSE(file.ok());
    const std::string& error = file.message();
    for (const std::string part : {"--library", "LibraryPath", "KELVARA_LIBRARY",
                                   "iTunes Music Library.xml", "Music/Music/Library.xml"}) {
        EXPECT_NE(error.find(part), std::string::npos) << part << " in " << error;
    }
    EXPECT_NE(error.find(home_.path().string()), std::string::npos);
}

}  // namespace
}  // namespace kelvara
