#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/Status.h"

namespace kelvara {

// A song value in a custom file-name pattern.
struct MetadataToken {
    std::string name;  // "Title", "Artist", "Album", "Track NO" or "Disk NO"
    bool operator==(const MetadataToken&) const = default;

    static constexpr const char* kTitle = "Title";
    static constexpr const char* kArtist = "Artist";
    static constexpr const char* kAlbum = "Album";
    static constexpr const char* kTrackNo = "Track NO";
    static constexpr const char* kDiskNo = "Disk NO";
};

// A custom file-name pattern: literal texts and tokens, in order. Stored in the preferences under
// "CustomFormat" as a JSON list whose elements are strings or {"token": NAME}; written on the
// command line as text with tokens in angle brackets ("<Track NO>. <Title>").
class FormatList {
  public:
    using Element = std::variant<std::string, MetadataToken>;

    FormatList() = default;
    explicit FormatList(std::vector<Element> elements) : elements_(std::move(elements)) {}

    // Track NO, ". ", Artist, " - ", Album, " - ", Title: the pattern before the user makes one.
    static FormatList defaultFormat();

    const std::vector<Element>& elements() const { return elements_; }
    bool empty() const { return elements_.empty(); }
    bool hasTitle() const;

    nlohmann::json toJson() const;
    // Absent when `value` is not a list; elements of another shape are skipped. Literal texts lose
    // any "/", as they do when typed, so a stored pattern cannot reach outside its folder, and
    // every control character (texts and token names), so none can cut a file name short.
    static std::optional<FormatList> fromJson(const nlohmann::json& value);

    // "<Track NO>. <Title>": token names in angle brackets, matched without regard to case;
    // everything else is literal text, from which "/" and control characters are removed. Fails
    // for a name in brackets that is not a token.
    static Result<FormatList> parse(std::string_view text);
    // The pattern written back in the form parse() reads.
    std::string toText() const;

    bool operator==(const FormatList&) const = default;

  private:
    std::vector<Element> elements_;
};

}  // namespace kelvara
