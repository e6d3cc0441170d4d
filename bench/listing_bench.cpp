// Writes a listing of 100,000 generated songs with 10 columns in one format and prints the time
// and the process's peak memory. Usage: listing_bench csv|xlsx|xls OUTPUT [SONGS]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "library/MediaLibrary.h"
#include "listing/FXCsvExporter.h"
#include "listing/RBExcel.h"

using namespace kelvara;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s csv|xlsx|xls OUTPUT [SONGS]\n", argv[0]);
        return 2;
    }
    const std::string type = argv[1];
    const std::filesystem::path output = argv[2];
    const int count = argc > 3 ? std::atoi(argv[3]) : 100000;

    // The same data the Python comparison generates: 2,000 artists, 10,000 albums, mixed texts.
    MediaLibrary library;
    std::vector<Artist*> artists;
    for (int a = 0; a < 2000; ++a) {
        Artist& artist = library.addArtist();
        artist.setName("Artist " + std::to_string(a) + (a % 7 == 0 ? " & Ørkestra" : ""));
        artists.push_back(&artist);
    }
    std::vector<Album*> albums;
    for (int a = 0; a < 10000; ++a) {
        Album& album = library.addAlbum();
        album.setTitle("Album " + std::to_string(a) + (a % 11 == 0 ? " – 日本語" : ""));
        albums.push_back(&album);
    }
    static const char* genres[] = {"Rock", "Jazz", "Classical", "Pop", "Electronic", "Folk"};
    std::vector<const MediaItem*> songs;
    for (int i = 0; i < count; ++i) {
        MediaItem& item = library.addMediaItem();
        item.setTitle("Song number " + std::to_string(i) +
                      (i % 13 == 0 ? ", with \"quotes\"" : ""));
        item.setArtist(artists[static_cast<std::size_t>(i % 2000)]);
        item.setAlbum(albums[static_cast<std::size_t>(i % 10000)]);
        item.setGenre(genres[i % 6]);
        item.setYear(1960 + static_cast<unsigned>(i % 60));
        item.setTotalTime(static_cast<std::uint64_t>(120000 + (i * 7919) % 400000));
        item.setTrackNumber(static_cast<unsigned>(1 + i % 20));
        item.setPlayCount(static_cast<unsigned>(i % 50));
        item.setRating((i % 6) * 20);
        item.setAddedDate(Date{std::chrono::seconds{1400000000 + static_cast<long>(i) * 600}});
        songs.push_back(&item);
    }
    const std::vector<std::string> columns = {"title",  "artist",   "time",  "album",
                                              "genre",  "year",     "track", "playCount",
                                              "rating", "addedDate"};

    const auto start = std::chrono::steady_clock::now();
    std::size_t rows = songs.size();
    Status written;
    if (type == "csv") {
        FXCsvExporter exporter;
        exporter.setArrayController(songs);
        written = exporter.createCSVWithVisibleColumns(columns, output, true);
    } else {
        RBExcel excel;
        excel.setArrayController(songs);
        written = excel.createExcelIsXMl(type == "xlsx", columns, true, output);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!written.ok()) {
        std::fprintf(stderr, "listing_bench: %s\n", written.message().c_str());
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%-5s %7zu rows x %zu columns  %6.2f s  peak %6.1f MB  %6.1f MB on disk\n",
                type.c_str(), rows, columns.size(), seconds, usage.ru_maxrss / 1024.0,
                static_cast<double>(std::filesystem::file_size(output)) / (1024 * 1024));
    return 0;
}
