#include "engine/MetadataToken.h"

#include <array>

#include "platform/TextCompare.h"

namespace kelvara {
namespace {

constexpr std::array<const char*, 5> kNames = {MetadataToken::kTitle, MetadataToken::kArtist,
                                               MetadataToken::kAlbum, MetadataToken::kTrackNo,
                                               MetadataToken::kDiskNo};

std::string withoutSlashes(std::string text) {
    std::erase(text, '/');
    return text;
}

void appendText(std::vector<FormatList::Element>& elements, std::string text) {
    text = withoutSlashes(std::move(text));
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
        if (auto* token = std::get_if<MetadataToken>(&element); token && token->name == MetadataToken::kTitle)
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
        } else if (element.is_object() && element.contains("token") && element["token"].is_string()) {
            format.elements_.emplace_back(MetadataToken{element["token"].get<std::string>()});
        }
    }
    return format;
}

std::optional<FormatList> FormatList::parse(std::string_view text, std::string& error) {
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
            error = "unknown token <" + std::string(name) +
                    "> (the tokens are <Title>, <Artist>, <Album>, <Track NO> and <Disk NO>)";
            return std::nullopt;
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
