// Loads a library file the way the application does (parse + model) and prints how long it took
// and the process's peak memory. Usage: library_load FILE [--music-folder DIR]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "library/MediaLibrary.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LIBRARY.xml [--music-folder DIR]\n", argv[0]);
        return 2;
    }
    kelvara::LibraryOpenOptions options;
    if (argc >= 4 && std::strcmp(argv[2], "--music-folder") == 0) options.musicFolder = argv[3];

    const auto start = std::chrono::steady_clock::now();
    auto read = kelvara::MediaLibrary::initWithContentsOfFile(argv[1], options);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (!read.ok()) {
        std::fprintf(stderr, "%s\n", read.message().c_str());
        return 1;
    }
    const auto library = std::move(*read);
    std::size_t playlistItems = 0;
    for (const auto* playlist : library->allPlaylists()) playlistItems += playlist->items().size();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("tracks %zu, playlists %zu, playlist entries %zu\n",
                library->allMediaItems().size(), library->allPlaylists().size(), playlistItems);
    std::printf("load (parse + model): %.3f s\n", elapsed.count());
    std::printf("peak memory: %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
