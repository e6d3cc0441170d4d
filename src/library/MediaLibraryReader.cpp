#include "library/MediaLibraryReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <future>
#include <new>
#include <pugixml.hpp>
#include <system_error>
#include <utility>

#include "library/LibraryBuilder.h"
#include "library/MediaKindRules.h"
#include "library/PlistValues.h"
#include "library/TrackScanner.h"
#include "platform/UniqueHandles.h"

namespace kelvara {
namespace {

using plist::isElement;

// Minimal parsing (no declaration, doctype or comments kept) with text embedded in its element:
// half the nodes, which matters for files of 100,000 tracks.
constexpr unsigned kParseOptions = pugi::parse_minimal | pugi::parse_escapes | pugi::parse_eol |
                                   pugi::parse_embed_pcdata | pugi::parse_ws_pcdata_single;

// How much of the end of the text is kept to tell a file cut short from a broken one.
constexpr std::size_t kTailBytes = 4096;

std::string quoted(const std::filesystem::path& file) {
    std::string text(1, '"');
    text.append(file.string()).push_back('"');
    return text;
}

Status cannotRead(const std::filesystem::path& file, const std::string& reason) {
    return errorStatus("Cannot read the library file " + quoted(file) + ": " + reason);
}

Status truncatedAt(const std::string& prefix, std::size_t size) {
    return errorStatus(prefix + " is truncated: it ends at byte " + std::to_string(size) +
                       " before the XML is complete");
}

Status invalidXml(const std::string& prefix, const std::string& what, std::size_t offset) {
    return errorStatus(prefix + " is not valid XML: " + what + " at byte offset " +
                       std::to_string(offset));
}

// The last bytes of the text, as they are before the parser writes into it.
std::string tailOf(const char* data, std::size_t size) {
    return std::string(data + size - std::min(size, kTailBytes), data + size);
}

// Whether a parse error at `offset` is where a file cut short would fail: at its very end, or
// inside a last tag that never closes. `tail` is the end of the text as it was before parsing.
bool endsWithin(std::size_t offset, std::size_t size, std::string_view tail) {
    if (offset + 1 >= size) return true;
    const std::size_t tailStart = size - tail.size();
    return offset >= tailStart &&
           tail.substr(offset - tailStart).find('>') == std::string_view::npos;
}

// The text of a regular file, read whole into one buffer that the parser then works on in
// place: no second copy of a file that may be hundreds of megabytes.
struct FileText {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
};

// A regular file open for reading, and its size when it was opened.
struct OpenFile {
    UniqueFd fd;
    std::size_t size = 0;
};

// Opens `file` for reading after making sure it is a regular file.
Result<OpenFile> openRegularFile(const std::filesystem::path& file) {
    // Not blocking: opening a FIFO would otherwise wait for a writer for ever. What it is is
    // checked before anything is read.
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return cannotRead(file, std::strerror(errno));
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return cannotRead(file, std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return cannotRead(file, "it is a folder");
    if (!S_ISREG(info.st_mode)) return cannotRead(file, "it is not a regular file");
    return OpenFile{std::move(fd), static_cast<std::size_t>(info.st_size)};
}

// Reads up to the size it had when opened (less when the file shrank meanwhile).
Result<FileText> readWhole(const OpenFile& open, const std::filesystem::path& file) {
    FileText text;
    try {
        text.data = std::make_unique_for_overwrite<char[]>(std::max<std::size_t>(open.size, 1));
    } catch (const std::bad_alloc&) {
        return cannotRead(file, "it is too large for memory");
    }
    while (text.size < open.size) {
        const ssize_t got =
            ::read(open.fd.get(), text.data.get() + text.size, open.size - text.size);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return cannotRead(file, std::strerror(errno));
        if (got == 0) break;
        text.size += static_cast<std::size_t>(got);
    }
    return text;
}

// Where the tracks were cut out of the text, to give error offsets in the file as it is.
struct CutOut {
    std::size_t at = 0, bytes = 0;
};

// The "Tracks" dict of a large file, read in slices of about a megabyte of whole tracks. Each
// slice is found and parsed on a second thread while the tracks of the one before are read into
// the library. The text is parsed in place, so it is changed.
class TrackSlices {
  public:
    TrackSlices(char* data, std::size_t size, TrackScanner& scanner)
        : data_(data), size_(size), scanner_(scanner) {}

    // Reads every slice into `builder`; fails at the first slice that is not XML.
    Status readInto(LibraryBuilder& builder, const std::string& prefix) {
        std::future<Slice> next = start(0);
        for (std::size_t k = 0;; ++k) {
            const Slice slice = next.get();
            if (slice.last) return okStatus();
            if (!slice.result) {
                return invalidXml(prefix, slice.result.description(),
                                  slice.begin + static_cast<std::size_t>(slice.result.offset));
            }
            next = start(k + 1);
            builder.readTracks(documents_[k % 2]);
        }
    }

    // Why the scanner stopped short of the end of "Tracks". The parser says best what is wrong:
    // it reads the rest of the text from the first track not read.
    Status failure(const std::string& prefix, const std::string& originalTail) {
        const std::size_t from = scanner_.pending();
        const pugi::xml_parse_result result = documents_[0].load_buffer_inplace(
            data_ + from, size_ - from, kParseOptions | pugi::parse_fragment, pugi::encoding_utf8);
        const std::size_t offset =
            from + static_cast<std::size_t>(std::max<std::ptrdiff_t>(result.offset, 0));
        if (scanner_.failure() == TrackScanner::Failure::CutShort &&
            (result || endsWithin(offset, size_, originalTail))) {
            return truncatedAt(prefix, size_);
        }
        if (!result && offset < scanner_.failureOffset()) {
            return invalidXml(prefix, result.description(), offset);
        }
        return invalidXml(prefix, "unexpected tag", scanner_.failureOffset());
    }

  private:
    static constexpr std::size_t kSliceBytes = 1 << 20;

    struct Slice {
        std::size_t begin = 0;
        pugi::xml_parse_result result;
        bool last = false;
    };

    Slice scanAndParse(std::size_t k) {
        Slice slice;
        const auto range = scanner_.nextSlice(kSliceBytes);
        if (!range) {
            slice.last = true;
            return slice;
        }
        slice.begin = range->first;
        slice.result = documents_[k % 2].load_buffer_inplace(
            data_ + range->first, range->second - range->first,
            kParseOptions | pugi::parse_fragment, pugi::encoding_utf8);
        return slice;
    }

    std::future<Slice> start(std::size_t k) {
        try {
            return std::async(std::launch::async, &TrackSlices::scanAndParse, this, k);
        } catch (const std::system_error&) {
            // No thread to spare.
            return std::async(std::launch::deferred, &TrackSlices::scanAndParse, this, k);
        }
    }

    char* data_;
    std::size_t size_;
    TrackScanner& scanner_;
    std::array<pugi::xml_document, 2> documents_;
};

// Reads the tracks of a large file ahead of the rest and cuts them out of the text, so that the
// document parsed next is small. Does nothing when the scanner leaves the tracks to the full
// parse.
Status readTracksAhead(char* data, std::size_t& size, LibraryBuilder& builder,
                       const std::string& prefix, CutOut& cut) {
    const std::string originalTail = tailOf(data, size);
    TrackScanner scanner(std::string_view(data, size));
    if (!scanner.start()) return okStatus();
    {
        TrackSlices slices(data, size, scanner);
        if (Status read = slices.readInto(builder, prefix); !read.ok()) return read;
        if (scanner.failure() != TrackScanner::Failure::None) {
            return slices.failure(prefix, originalTail);
        }
    }
    cut.at = scanner.begin();
    cut.bytes = scanner.end() - scanner.begin();
    std::memmove(data + scanner.begin(), data + scanner.end(), size - scanner.end());
    size -= cut.bytes;
    return okStatus();
}

// Parses what is left of the text; a failure gives offsets in the file.
Status parseDocument(pugi::xml_document& document, char* data, std::size_t size, const CutOut& cut,
                     const std::string& prefix) {
    const std::string tail = tailOf(data, size);
    const pugi::xml_parse_result result =
        document.load_buffer_inplace(data, size, kParseOptions, pugi::encoding_auto);
    if (result) return okStatus();
    const auto offset =
        std::min(static_cast<std::size_t>(std::max<std::ptrdiff_t>(result.offset, 0)), size);
    if (document.first_child() && endsWithin(offset, size, tail)) {
        return truncatedAt(prefix, size + cut.bytes);
    }
    return invalidXml(prefix, result.description(), offset >= cut.at ? offset + cut.bytes : offset);
}

// The parts of the top-level dict the library is made of.
struct LibraryParts {
    pugi::xml_node tracks, playlists;
    OptionalText musicFolder;
};

// Finds the parts in a parsed property list; fails when it is no music library.
Result<LibraryParts> findLibraryParts(const pugi::xml_document& document,
                                      const std::string& prefix) {
    const pugi::xml_node root = document.document_element();
    if (!isElement(root, "plist")) {
        return errorStatus(prefix + " is not a property list: its root element is <" + root.name() +
                           ">, not <plist>");
    }
    LibraryParts parts;
    pugi::xml_node top = root.first_child();
    while (top && top.type() != pugi::node_element) top = top.next_sibling();
    if (top && isElement(top, "dict")) {
        plist::forEachEntry(top, [&](std::string_view key, const pugi::xml_node& value) {
            if (key == "Tracks" && isElement(value, "dict"))
                parts.tracks = value;
            else if (key == "Playlists" && isElement(value, "array"))
                parts.playlists = value;
            else if (key == "Music Folder")
                parts.musicFolder = plist::textValue(value);
        });
    }
    if (!parts.tracks && !parts.playlists) {
        return errorStatus(prefix +
                           " is a property list but not a music library: it has no \"Tracks\" and "
                           "no \"Playlists\"");
    }
    return parts;
}

// Reads the tracks and playlists into the library. The locations are mapped on a second thread
// while the playlists are read, then by both.
void build(LibraryBuilder& builder, const LibraryParts& parts, const LibraryOpenOptions& options) {
    if (parts.tracks) builder.readTracks(parts.tracks);
    builder.startMapping(options);
    std::future<void> mapping;
    try {
        mapping = std::async(std::launch::async, [&builder] { builder.mapLocations(); });
    } catch (const std::system_error&) {
        // No thread to spare: this thread maps them all below.
    }
    if (parts.playlists) builder.readPlaylists(parts.playlists);
    builder.mapLocations();
    if (mapping.valid()) mapping.get();
    builder.finish();
}

}  // namespace

MediaLibraryReader::MediaLibraryReader(LibraryOpenOptions options) : options_(std::move(options)) {}

OptionalText MediaLibraryReader::canonicalKind(const OptionalText& kind,
                                               std::string_view extension) {
    return canonicalKindText(kind, extension);
}

Result<std::unique_ptr<MediaLibrary>> MediaLibraryReader::readFile(
    const std::filesystem::path& file) const {
    const Result<OpenFile> open = openRegularFile(file);
    if (!open.ok()) return open.status();
    Result<FileText> text = readWhole(*open, file);
    if (!text.ok()) return text.status();
    return parse(text->data.get(), text->size, file);
}

Result<std::unique_ptr<MediaLibrary>> MediaLibraryReader::readText(
    std::string text, const std::filesystem::path& name) const {
    return parse(text.data(), text.size(), name);
}

Result<std::unique_ptr<MediaLibrary>> MediaLibraryReader::parse(
    char* data, std::size_t size, const std::filesystem::path& name) const {
    const std::string prefix = "The library file " + quoted(name);
    if (size == 0) return errorStatus(prefix + " is empty");
    auto library = std::make_unique<MediaLibrary>();
    library->setSourceFile(name);
    LibraryBuilder builder(*library);
    // Room for about as many tracks as a file of this size holds.
    builder.reserve(size / 1024);

    CutOut cut;
    if (Status ahead = readTracksAhead(data, size, builder, prefix, cut); !ahead.ok()) return ahead;
    pugi::xml_document document;
    if (Status parsed = parseDocument(document, data, size, cut, prefix); !parsed.ok()) {
        return parsed;
    }
    Result<LibraryParts> parts = findLibraryParts(document, prefix);
    if (!parts.ok()) return parts.status();
    library->setMusicFolder(std::move(parts->musicFolder));
    build(builder, *parts, options_);
    return library;
}

Result<std::unique_ptr<MediaLibrary>> MediaLibrary::initWithContentsOfFile(
    const std::filesystem::path& file, const LibraryOpenOptions& options) {
    return MediaLibraryReader(options).readFile(file);
}

}  // namespace kelvara
