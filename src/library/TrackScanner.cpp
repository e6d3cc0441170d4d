#include "library/TrackScanner.h"

#include <cctype>
#include <string>

namespace kelvara {
namespace {

bool declaresUtf8OrNothing(std::string_view declaration) {
    const auto at = declaration.find("encoding");
    if (at == std::string_view::npos) return true;
    std::string value(declaration.substr(at));
    for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return value.find("utf-8") != std::string::npos;
}

}  // namespace

bool TrackScanner::start() {
    const std::size_t bom = text_.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    if (text_.substr(bom, 1) != "<") return false;  // UTF-16, or not XML at all
    pos_ = bom;
    while (!inTracks_) {
        if (step() != Event::Tag) return false;
    }
    sliceStart_ = begin_;
    return true;
}

std::optional<std::pair<std::size_t, std::size_t>> TrackScanner::nextSlice(std::size_t bytes) {
    while (!done_ && failure_ == Failure::None) {
        const Event event = step();
        if (event == Event::EntryEnd && pos_ - sliceStart_ >= bytes) return take(pos_);
        if (event == Event::SectionEnd) {
            done_ = true;
            if (lastEntryEnd_ > sliceStart_) return take(lastEntryEnd_);
        }
    }
    return std::nullopt;
}

bool TrackScanner::skipPast(std::string_view terminator) {
    const auto at = text_.find(terminator, pos_);
    if (at == std::string_view::npos) return false;
    pos_ = at + terminator.size();
    return true;
}

TrackScanner::Event TrackScanner::step() {
    pos_ = text_.find('<', pos_);
    if (pos_ == std::string_view::npos || pos_ + 1 >= text_.size()) return cutShort();
    const char second = text_[pos_ + 1];
    if (second == '?') return declaration();
    if (second == '!') return markup();
    return element();
}

TrackScanner::Event TrackScanner::declaration() {
    const std::size_t tagStart = pos_;
    if (!skipPast("?>")) return cutShort();
    if (!declaresUtf8OrNothing(text_.substr(tagStart, pos_ - tagStart))) {
        return fail(Failure::Malformed, tagStart);
    }
    return Event::Tag;
}

TrackScanner::Event TrackScanner::markup() {
    const std::size_t tagStart = pos_;
    const std::string_view rest = text_.substr(pos_);
    if (rest.starts_with("<!--")) return skipPast("-->") ? Event::Tag : cutShort();
    if (rest.starts_with("<![CDATA[")) return skipPast("]]>") ? Event::Tag : cutShort();
    const auto close = text_.find('>', pos_);
    if (close == std::string_view::npos) return cutShort();
    // An internal DTD subset could declare entities: left to the full parse.
    if (text_.substr(pos_, close - pos_).find('[') != std::string_view::npos) {
        return fail(Failure::Malformed, tagStart);
    }
    pos_ = close + 1;
    return Event::Tag;
}

TrackScanner::Event TrackScanner::element() {
    const std::size_t tagStart = pos_;
    const bool closing = text_[pos_ + 1] == '/';
    std::size_t cursor = pos_ + (closing ? 2 : 1);
    const std::size_t nameStart = cursor;
    while (cursor < text_.size() && static_cast<unsigned char>(text_[cursor]) > ' ' &&
           text_[cursor] != '>' && text_[cursor] != '/') {
        ++cursor;
    }
    const std::string_view name = text_.substr(nameStart, cursor - nameStart);
    // The end of the tag, over quoted attribute values.
    while (cursor < text_.size() && text_[cursor] != '>') {
        if (text_[cursor] == '"' || text_[cursor] == '\'') {
            cursor = text_.find(text_[cursor], cursor + 1);
            if (cursor == std::string_view::npos) return cutShort();
        }
        ++cursor;
    }
    if (cursor >= text_.size()) return cutShort();
    if (name.empty()) return fail(Failure::Malformed, tagStart);
    const bool selfClosing = !closing && text_[cursor - 1] == '/';
    pos_ = cursor + 1;
    return closing ? closeElement(name, tagStart) : openElement(name, selfClosing, tagStart);
}

TrackScanner::Event TrackScanner::closeElement(std::string_view name, std::size_t tagStart) {
    if (--depth_ < 0) return fail(Failure::Malformed, tagStart);
    if (inTracks_ && depth_ == 3 && name == "dict") {
        lastEntryEnd_ = pos_;
        return Event::EntryEnd;
    }
    if (inTracks_ && depth_ == 2) {
        if (name != "dict") return fail(Failure::Malformed, tagStart);
        end_ = tagStart;
        return Event::SectionEnd;
    }
    return Event::Tag;
}

TrackScanner::Event TrackScanner::openElement(std::string_view name, bool selfClosing,
                                              std::size_t tagStart) {
    if ((depth_ == 0 && name != "plist") || (depth_ == 1 && name != "dict")) {
        return fail(Failure::Malformed, tagStart);
    }
    if (depth_ == 2 && !inTracks_) {
        if (name == "key" && !selfClosing) {
            tracksNext_ = text_.substr(pos_, text_.find('<', pos_) - pos_) == "Tracks";
        } else if (tracksNext_) {
            if (name != "dict" || selfClosing) return fail(Failure::Malformed, tagStart);
            inTracks_ = true;
            begin_ = pos_;
        }
    }
    if (selfClosing) {
        if (inTracks_ && depth_ == 3) {
            lastEntryEnd_ = pos_;
            return Event::EntryEnd;
        }
        return Event::Tag;
    }
    ++depth_;
    return Event::Tag;
}

}  // namespace kelvara
