#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

namespace kelvara {

// Large libraries: the "Tracks" dict is most of the file. Parsed whole, its tree would take more
// memory than the file itself; parsed a slice of whole tracks at a time, the tree stays small and
// the memory is reused. This light scan walks the tags of the document far enough to find the
// "Tracks" dict, then, on demand, hands out slices of whole tracks inside it. It only counts tags;
// the XML parser checks everything else, and any file the scan does not recognise is simply
// parsed whole.
class TrackScanner {
  public:
    enum class Failure { None, CutShort, Malformed };

    explicit TrackScanner(std::string_view text) : text_(text) {}

    // Scans up to the start of the "Tracks" dict. False for any file it does not recognise (no
    // such dict, another encoding, a DTD subset, broken structure): those are parsed whole.
    bool start();

    // The next run of whole tracks of at least `bytes` (fewer at the end of the dict), as offsets
    // into the text; nothing at the end of the dict or on failure.
    std::optional<std::pair<std::size_t, std::size_t>> nextSlice(std::size_t bytes);

    // Where the text not yet handed out in slices begins.
    std::size_t pending() const { return sliceStart_; }
    Failure failure() const { return failure_; }
    std::size_t failureOffset() const { return failureOffset_; }
    // The text between the dict's tags, once nextSlice() has reached its end.
    std::size_t begin() const { return begin_; }
    std::size_t end() const { return end_; }

  private:
    enum class Event { Tag, EntryEnd, SectionEnd, Failed };

    std::pair<std::size_t, std::size_t> take(std::size_t until) {
        const std::pair<std::size_t, std::size_t> slice{sliceStart_, until};
        sliceStart_ = until;
        return slice;
    }
    Event fail(Failure failure, std::size_t offset) {
        failure_ = failure;
        failureOffset_ = offset;
        return Event::Failed;
    }
    // The text ran out: a file cut short.
    Event cutShort() { return fail(Failure::CutShort, text_.size()); }
    bool skipPast(std::string_view terminator);
    // Moves past the next tag (or comment, declaration, CDATA) and says what it was.
    Event step();
    // The steps for "<?...?>", for "<!...>" (comments, CDATA, doctype) and for an element's tag.
    Event declaration();
    Event markup();
    Event element();
    Event closeElement(std::string_view name, std::size_t tagStart);
    Event openElement(std::string_view name, bool selfClosing, std::size_t tagStart);

    std::string_view text_;
    std::size_t pos_ = 0;
    int depth_ = 0;  // 1 inside <plist>, 2 inside the top dict, 3 inside "Tracks"
    bool tracksNext_ = false, inTracks_ = false, done_ = false;
    std::size_t begin_ = 0, end_ = 0, sliceStart_ = 0, lastEntryEnd_ = 0;
    Failure failure_ = Failure::None;
    std::size_t failureOffset_ = 0;
};

}  // namespace kelvara
