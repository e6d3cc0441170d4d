#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "conversion/MediaConverter.h"
#include "library/MediaLibrary.h"
#include "support/TestSupport.h"

namespace kelvara::test {

// Short audio files made once per test program with the ffmpeg command-line tool.
class Sources {
  public:
    static Sources& get();
    std::filesystem::path operator[](const std::string& name) const { return files_.at(name); }
    const std::filesystem::path& folder() const { return dir_.path(); }

  private:
    Sources();
    TempDir dir_;
    std::map<std::string, std::filesystem::path> files_;
};

// What the log window, the issue counter and the console received.
struct Recorder {
    std::vector<std::string> lines;
    std::vector<std::string> issues;
    std::vector<std::string> console;
    bool logged(const std::string& line) const;
    bool issueContains(const std::string& text) const;
};

// Key/value lines printed by a Python snippet (ffprobe and mutagen are run from Python).
std::map<std::string, std::string> probe(const std::string& python,
                                         const std::filesystem::path& file);
// ffprobe's view of the first audio stream: codec, sample_rate, channels, duration, bit_rate.
std::map<std::string, std::string> ffprobeAudio(const std::filesystem::path& file);
double durationOf(const std::filesystem::path& file);

// A temporary HOME (so ~/Documents is private to the test), a destination folder and a library
// to build songs in.
class ConversionTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    MediaItem& song(const std::filesystem::path& source, const std::string& title = "Song");
    ConversionJob job(const MediaItem& item, const std::string& destinationName, int bitRate = 192);
    std::filesystem::path documents() const { return home_.path() / "Documents"; }

    TempDir home_;
    TempDir out_;
    MediaLibrary library_;
    Recorder log_;
    MediaConverter converter_;
    std::string previousHome_;
};

}  // namespace kelvara::test
