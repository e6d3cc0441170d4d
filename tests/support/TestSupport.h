#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kelvara::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program with arguments (no shell), stdin from /dev/null, capturing both outputs.
CommandResult runCommand(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnvironment = {});

// Runs a Python snippet with Debian's interpreter, which has mutagen, openpyxl and xlrd.
CommandResult runPython(const std::string& code, const std::vector<std::string>& args = {});

std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& content);

// The real library files of tests/fixtures.
std::filesystem::path fixture(const std::string& name);

// Runs kelvara-cli with the given arguments.
CommandResult runCli(const std::vector<std::string>& args,
                     const std::vector<std::string>& extraEnvironment = {});

// A program stopped with Ctrl-C in the middle of its work.
struct InterruptedRun {
    int exitCode = -1;   // 128 + the signal when a signal ended it
    double seconds = 0;  // how long it lived after the last SIGINT
    std::string out;
};

// Starts `argv` (stdin from /dev/null, stderr dropped), waits until its output shows `cue` and
// 0.3 s more, sends SIGINT `interrupts` times 50 ms apart and waits for its end; a run still alive
// `giveUpSeconds` after the last signal is killed.
InterruptedRun interruptAfter(const std::vector<std::string>& argv, const std::string& cue,
                              int interrupts, double giveUpSeconds);

// Every file under `root` (links included, not followed), relative to it and sorted.
std::vector<std::string> filesUnder(const std::filesystem::path& root);

// Reads a CSV file with Python's csv module into rows of fields.
std::vector<std::vector<std::string>> readCsv(const std::filesystem::path& file);

// Pieces of a library file as iTunes writes it: `header` holds extra top-level keys, `tracks`
// the trackXml entries and `playlists` the playlistXml entries.
std::string libraryXml(const std::string& tracks, const std::string& playlists = "",
                       const std::string& header = "");
std::string trackXml(int id, const std::string& body);
// A playlist dict; "Playlist Items" only when `ids` is not empty.
std::string playlistXml(const std::string& body, const std::vector<int>& ids);

}  // namespace kelvara::test
