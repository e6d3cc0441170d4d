#include "engine/MetadataToken.h"

#include <array>

#include "library/ValidUtf8.h"
#include "platform/TextCompare.h"

namespace kelvara {
namespace {

constexpr std::array<const char*, 5> kNames = {MetadataToken::kTitle, MetadataToken::kArtist,
                                               MetadataToken::kAlbum, MetadataToken::kTrackNo,
                                               MetadataToken::kDiskNo};

// A name can hold neither "/" nor control characters: a NUL would cut it short, so that every
// song got the same name. The text is made well-formed UTF-8 first, so that only whole
// characters are removed and no two neighbours can join into a new one; C1 controls are U+0080
// to U+009F (C2 80 to C2 9F).
std::string withoutSlashes(std::string text) {
    makeValidUtf8(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '/' || byte < 0x20 || byte == 0x7F) continue;
        if (byte == 0xC2 && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next <= 0x9F) {
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

void appendText(std::vector<FormatList::Element>& elements, std::string text) {
    text = withoutSlashes(text);
    if (text.empty()) return;
    if (!elements.empty())
        if (auto* last = std::get_if<std::string>(&elements.back())) {
            *last += text;
            return;
        }
    elements.emplace_back(std::move(text));
}

}  // namespace

FormatList FormatList::defaultFormat() {
    return FormatList({MetadataToken{MetadataToken::kTrackNo}, std::string(". "),
                       MetadataToken{MetadataToken::kArtist}, std::string(" - "),
                       MetadataToken{MetadataToken::kAlbum}, std::string(" - "),
                       MetadataToken{MetadataToken::kTitle}});
}

bool FormatList::hasTitle() const {
    for (const Element& element : elements_)
        if (auto* token = std::get_if<MetadataToken>(&element);
            token && token->name == MetadataToken::kTitle)
            return true;
    return false;
}

nlohmann::json FormatList::toJson() const {
    nlohmann::json list = nlohmann::json::array();
    for (const Element& element : elements_) {
        if (auto* text = std::get_if<std::string>(&element))
            list.push_back(*text);
        else
            list.push_back({{"token", std::get<MetadataToken>(element).name}});
    }
    return list;
}

std::optional<FormatList> FormatList::fromJson(const nlohmann::json& value) {
    if (!value.is_array()) return std::nullopt;
    FormatList format;
    for (const auto& element : value) {
        if (element.is_string()) {
            // Kept as separate elements (not merged) so the list reads back as it was stored.
            std::string text = withoutSlashes(element.get<std::string>());
            format.elements_.emplace_back(std::move(text));
        } else if (element.is_object() && element.contains("token") &&
                   element["token"].is_string()) {
            format.elements_.emplace_back(
                MetadataToken{withoutSlashes(element["token"].get<std::string>())});
        }
    }
    return format;
}

Result<FormatList> FormatList::parse(std::string_view text) {
    std::vector<Element> elements;
    std::size_t position = 0;
    while (position < text.size()) {
        const std::size_t open = text.find('<', position);
        const std::size_t close = open == std::string_view::npos ? open : text.find('>', open + 1);
        if (open == std::string_view::npos || close == std::string_view::npos) {
            appendText(elements, std::string(text.substr(position)));
            break;
        }
        appendText(elements, std::string(text.substr(position, open - position)));
        const std::string_view name = text.substr(open + 1, close - open - 1);
        const char* match = nullptr;
        for (const char* candidate : kNames)
            if (equalsIgnoringCase(name, candidate)) match = candidate;
        if (!match) {
            return errorStatus(
                "unknown token <" + std::string(name) +
                "> (the tokens are <Title>, <Artist>, <Album>, <Track NO> and <Disk NO>)");
        }
        elements.emplace_back(MetadataToken{match});
        position = close + 1;
    }
    return FormatList(std::move(elements));
}

std::string FormatList::toText() const {
    std::string text;
    for (const Element& element : elements_) {
        if (auto* literal = std::get_if<std::string>(&element))
            text += *literal;
        else
            text += "<" + std::get<MetadataToken>(element).name + ">";
    }
    return text;
}

}  // namespace kelvara
