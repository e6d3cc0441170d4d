// Exports a synthetic library of real files as a copy and copies the same files with cp into a
// fresh folder, alternating, and prints both wall times. Usage:
//   export_copy [FILES=2000] [MEGABYTES=3] [WORK_FOLDER=$TMPDIR]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/KvExportManager.h"
#include "library/MediaLibrary.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace kelvara;

namespace {

class SilentUi : public ExportUi {
  public:
    void logLine(const std::string&) override {}
    void issueLine(const std::string& line) override {
        std::fprintf(stderr, "issue: %s\n", line.c_str());
    }
    void showProgress() override {}
    void closeProgress() override {}
    void setProgressMaximum(long) override {}
    void setProgressValue(long) override {}
    void setProgressMessage(const std::string&) override {}
    void setSmallInfo(const std::string&) override {}
    void setSpinner(bool) override {}
    bool cancelRequested() const override { return false; }
    void alert(const std::string& message) override {
        std::fprintf(stderr, "alert: %s\n", message.c_str());
    }
    void notify(const std::string&, const std::string&) override {}
    void openDestination(const fs::path&) override {}
    void beginPowerInhibit(const std::string&) override {}
    void endPowerInhibit() override {}
};

int run(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double seconds(const std::chrono::steady_clock::duration& d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int megabytes = argc > 2 ? std::atoi(argv[2]) : 3;
    const fs::path work =
        (argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path()) / "kelvara-bench-export";
    fs::remove_all(work);
    const fs::path source = work / "music";
    fs::create_directories(source);

    std::printf("Writing %d files of %d MB in %s\n", files, megabytes, source.c_str());
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> block(static_cast<std::size_t>(megabytes) << 17);
    MediaLibrary library;
    Playlist& playlist = library.addPlaylist();
    playlist.setName("Bench");
    playlist.setPersistentID(1);
    std::vector<const MediaItem*> items;
    for (int i = 0; i < files; ++i) {
        for (auto& word : block) word = random();
        char name[64];
        std::snprintf(name, sizeof name, "%05d Song number %d.mp3", i, i);
        const fs::path file = source / name;
        const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 ||
            write(fd, block.data(), block.size() * 8) != static_cast<ssize_t>(block.size() * 8)) {
            std::perror(file.c_str());
            return 1;
        }
        close(fd);
        MediaItem& item = library.addMediaItem();
        item.setPersistentID(static_cast<PersistentID>(100 + i));
        item.setTitle("Song number " + std::to_string(i));
        item.setCanonicalKind(std::string("MPEG audio file"));
        item.setTotalTime(180000);
        item.setMappedPath(file);
        items.push_back(&item);
    }
    playlist.setItems(items);
    run({"sync"});

    // Each copy is removed before the other one runs, and the two alternate in going first, so
    // neither pays for the page cache the other filled.
    auto timeCp = [&](const fs::path& target) {
        fs::create_directories(target);
        run({"sync"});
        const auto start = std::chrono::steady_clock::now();
        if (run({"cp", "-r", (source.string() + "/."), target.string()}) != 0) std::exit(1);
        const double elapsed = seconds(std::chrono::steady_clock::now() - start);
        fs::remove_all(target);
        return elapsed;
    };
    auto timeExport = [&](const fs::path& target) {
        run({"sync"});
        SilentUi ui;
        const auto start = std::chrono::steady_clock::now();
        {
            KvExportManager manager(ui);
            manager.setUserOptions(KvrUserOptions());
            manager.setExportPlaylistFile(true);
            manager.exportPlaylists({&playlist}, target);
            if (manager.waitUntilFinished() != RunEnding::Finished || manager.errorCount() != 0)
                std::exit(1);
        }
        const double elapsed = seconds(std::chrono::steady_clock::now() - start);
        fs::remove_all(target);
        return elapsed;
    };
    // The disk's write-back makes single rounds swing; the median ratio is the figure to read.
    double cpTotal = 0, exportTotal = 0;
    std::vector<double> ratios;
    const int rounds = 4;
    for (int round = 0; round < rounds; ++round) {
        double cpTime = 0, exportTime = 0;
        if (round % 2 == 0) {
            cpTime = timeCp(work / "cp");
            exportTime = timeExport(work / "export");
        } else {
            exportTime = timeExport(work / "export");
            cpTime = timeCp(work / "cp");
        }
        std::printf("round %d (%s first): cp %.2f s, export %.2f s, ratio %.2f\n", round + 1,
                    round % 2 == 0 ? "cp" : "export", cpTime, exportTime, exportTime / cpTime);
        std::fflush(stdout);
        cpTotal += cpTime;
        exportTotal += exportTime;
        ratios.push_back(exportTime / cpTime);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf(
        "%d files x %d MB: cp %.2f s, export %.2f s (mean of %d), export/cp = %.2f, median ratio "
        "%.2f\n",
        files, megabytes, cpTotal / rounds, exportTotal / rounds, rounds, exportTotal / cpTotal,
        (ratios[rounds / 2 - 1] + ratios[rounds / 2]) / 2);
    fs::remove_all(work);
    return 0;
}
