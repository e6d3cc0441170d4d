#include "conversion/ArtworkReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

#include "conversion/FfmpegHandles.h"
#include "conversion/FfmpegLibraries.h"

namespace kelvara {
namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::optional<std::string> ArtworkReader::artworkForFile(const std::filesystem::path& audioFile) {
    if (auto embedded = embeddedPicture(audioFile)) return embedded;
    if (const auto cover = coverImageBeside(audioFile)) {
        auto data = readImageFile(*cover);
        if (data && !data->empty()) return data;
    }
    return std::nullopt;
}

std::optional<std::string> ArtworkReader::readImageFile(const std::filesystem::path& file) {
    // Non-blocking, so that opening a FIFO returns at once; then only a regular file is read.
    const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return std::nullopt;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        std::uint64_t(info.st_size) > maxImageFileSize)
        return std::nullopt;
    std::string data(std::size_t(info.st_size), '\0');
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::read(fd.get(), data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        done += std::size_t(n);
    }
    return data;
}

std::optional<std::string> ArtworkReader::embeddedPicture(const std::filesystem::path& audioFile) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(audioFile, ec)) return std::nullopt;
    if (!FfmpegLibraries::load().ok()) return std::nullopt;
    AVFormatContext* raw = nullptr;
    // Only the header is needed: attached pictures are read with it.
    if (avformat_open_input(&raw, audioFile.c_str(), nullptr, nullptr) < 0) return std::nullopt;
    ffmpeg::InputContext input(raw);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        if ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) && stream->attached_pic.size > 0)
            return std::string(reinterpret_cast<const char*>(stream->attached_pic.data),
                               static_cast<std::size_t>(stream->attached_pic.size));
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> ArtworkReader::coverImageBeside(
    const std::filesystem::path& audioFile) {
    static constexpr std::array<const char*, 9> names = {"cover.jpg",  "cover.jpeg",  "cover.png",
                                                         "folder.jpg", "folder.jpeg", "folder.png",
                                                         "front.jpg",  "front.jpeg",  "front.png"};
    std::error_code ec;
    std::array<std::optional<std::filesystem::path>, names.size()> found;
    for (std::filesystem::directory_iterator it(audioFile.parent_path(), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = lower(it->path().filename().string());
        for (std::size_t k = 0; k < names.size(); ++k)
            if (name == names[k] && !found[k] && it->is_regular_file(ec)) found[k] = it->path();
    }
    for (const auto& candidate : found)
        if (candidate) return candidate;
    return std::nullopt;
}

}  // namespace kelvara
