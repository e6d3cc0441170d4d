#include "library/PlistValues.h"

#include <charconv>
#include <string>
#include <system_error>

#include "library/PlistDate.h"
#include "library/ValidUtf8.h"

namespace kelvara::plist {

// The parser passes any bytes through (and character references to surrogates come out as
// their ill-formed encoding), so every text is made valid UTF-8 here, once.
OptionalText textValue(const pugi::xml_node& node) {
    if (!isElement(node, "string")) return std::nullopt;
    std::string text(node.child_value());
    makeValidUtf8(text);
    return text;
}

std::optional<std::int64_t> integerValue(const pugi::xml_node& node) {
    const char* text = node.child_value();
    if (isElement(node, "integer")) {
        // Nearly every value is plain digits: read those directly.
        std::uint64_t digitsValue = 0;
        const char* at = text;
        while (*at >= '0' && *at <= '9' && at - text < 18) {
            digitsValue = digitsValue * 10 + static_cast<unsigned>(*at - '0');
            ++at;
        }
        if (*at == '\0' && at != text) return static_cast<std::int64_t>(digitsValue);
        std::string_view view(text);
        while (!view.empty() && (view.front() == ' ' || view.front() == '\t'))
            view.remove_prefix(1);
        while (!view.empty() && (view.back() == ' ' || view.back() == '\t')) view.remove_suffix(1);
        if (view.starts_with('+')) view.remove_prefix(1);
        std::int64_t value = 0;
        const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
        if (ec != std::errc() || end != view.data() + view.size()) return std::nullopt;
        return value;
    }
    if (isElement(node, "real")) {
        // from_chars, not strtod: the user's locale must not change how the file reads.
        const std::string_view view(text);
        double value = 0;
        const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
        if (ec != std::errc() || end != view.data() + view.size() ||
            !(value > -9.2e18 && value < 9.2e18)) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(value);
    }
    return std::nullopt;
}

bool boolValue(const pugi::xml_node& node) {
    if (isElement(node, "true")) return true;
    if (isElement(node, "false")) return false;
    const auto value = integerValue(node);
    return value && *value != 0;
}

std::optional<Date> dateValue(const pugi::xml_node& node) {
    if (!isElement(node, "date")) return std::nullopt;
    return parseDate(node.child_value());
}

std::optional<PersistentID> persistentIDValue(const pugi::xml_node& node) {
    if (!isElement(node, "string")) return std::nullopt;
    return persistentIDFromHex(node.child_value());
}

}  // namespace kelvara::plist
