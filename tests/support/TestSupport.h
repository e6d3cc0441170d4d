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

}  // namespace kelvara::test
