#include "support/TestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kelvara::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvara-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

CommandResult runCommand(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnvironment) {
    TempDir scratch;
    const auto outPath = scratch / "out";
    const auto errPath = scratch / "err";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);

    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) environment.emplace_back(*e);
    for (const auto& extra : extraEnvironment) environment.push_back(extra);
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (auto& a : args) argp.push_back(a.data());
    argp.push_back(nullptr);

    pid_t pid = 0;
    CommandResult result;
    if (posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

CommandResult runPython(const std::string& code, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/usr/bin/python3", "-c", code};
    argv.insert(argv.end(), args.begin(), args.end());
    return runCommand(argv);
}

InterruptedRun interruptAfter(const std::vector<std::string>& argv, const std::string& cue,
                              int interrupts, double giveUpSeconds) {
    using Clock = std::chrono::steady_clock;
    InterruptedRun run;
    TempDir scratch;
    const auto outPath = scratch / "out";
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (auto& a : args) argp.push_back(a.data());
    argp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return run;
    const auto started = Clock::now();
    while (readFile(outPath).find(cue) == std::string::npos &&
           Clock::now() - started < std::chrono::seconds(30))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // well inside the work
    for (int i = 0; i < interrupts; ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        kill(pid, SIGINT);
    }
    const auto signalled = Clock::now();
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        // Whatever happens, the run must not outlive the test.
        if (std::chrono::duration<double>(Clock::now() - signalled).count() > giveUpSeconds)
            kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - signalled).count();
    run.out = readFile(outPath);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

void writeFile(const std::filesystem::path& file, const std::string& content) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << content;
}

std::filesystem::path fixture(const std::string& name) {
    return std::filesystem::path(KELVARA_FIXTURES_DIR) / name;
}

CommandResult runCli(const std::vector<std::string>& args,
                     const std::vector<std::string>& extraEnvironment) {
    std::vector<std::string> argv = {KELVARA_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    return runCommand(argv, extraEnvironment);
}

std::vector<std::string> filesUnder(const std::filesystem::path& root) {
    std::vector<std::string> files;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(root, ec), end; !ec && it != end;
         it.increment(ec))
        if (it->symlink_status().type() != std::filesystem::file_type::directory)
            files.push_back(it->path().lexically_relative(root).string());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::vector<std::string>> readCsv(const std::filesystem::path& file) {
    const CommandResult result = runPython(
        "import csv, json, sys\n"
        "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
        "    print(json.dumps(list(csv.reader(f))))\n",
        {file.string()});
    if (result.exitCode != 0) return {{"python failed: " + result.err}};
    return nlohmann::json::parse(result.out).get<std::vector<std::vector<std::string>>>();
}

std::string libraryXml(const std::string& tracks, const std::string& playlists,
                       const std::string& header) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n" +
           header + "<key>Tracks</key>\n<dict>\n" + tracks +
           "</dict>\n<key>Playlists</key>\n<array>\n" + playlists + "</array>\n</dict>\n</plist>\n";
}

std::string trackXml(int id, const std::string& body) {
    return "<key>" + std::to_string(id) + "</key><dict><key>Track ID</key><integer>" +
           std::to_string(id) + "</integer>" + body + "</dict>\n";
}

std::string playlistXml(const std::string& body, const std::vector<int>& ids) {
    std::string items;
    if (!ids.empty()) {
        items = "<key>Playlist Items</key><array>";
        for (int id : ids)
            items +=
                "<dict><key>Track ID</key><integer>" + std::to_string(id) + "</integer></dict>";
        items += "</array>";
    }
    return "<dict>" + body + items + "</dict>\n";
}

}  // namespace kelvara::test
