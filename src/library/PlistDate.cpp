#include "library/PlistDate.h"

#include <array>
#include <utility>

namespace kelvara::plist {
namespace {

bool digits(std::string_view text, std::size_t from, std::size_t count, int& out) {
    out = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        out = out * 10 + (text[i] - '0');
    }
    return true;
}

std::optional<Date> dateFrom(const std::array<int, 6>& values) {
    const auto [y, mo, d, h, mi, s] = values;
    const std::chrono::year_month_day date{std::chrono::year{y},
                                           std::chrono::month{static_cast<unsigned>(mo)},
                                           std::chrono::day{static_cast<unsigned>(d)}};
    if (!date.ok() || h > 23 || mi > 59 || s > 60) return std::nullopt;
    return std::chrono::sys_days(date) + std::chrono::hours(h) + std::chrono::minutes(mi) +
           std::chrono::seconds(s);
}

// The complete form, which is all that real libraries write; `text` is without its "Z".
bool isCompleteForm(std::string_view text) {
    return text.size() == 19 && text[4] == '-' && text[7] == '-' && text[10] == 'T' &&
           text[13] == ':' && text[16] == ':';
}

std::optional<Date> completeDate(std::string_view text) {
    std::array<int, 6> values{};
    if (!digits(text, 0, 4, values[0]) || !digits(text, 5, 2, values[1]) ||
        !digits(text, 8, 2, values[2]) || !digits(text, 11, 2, values[3]) ||
        !digits(text, 14, 2, values[4]) || !digits(text, 17, 2, values[5])) {
        return std::nullopt;
    }
    return dateFrom(values);
}

// A date with its later parts left out; `text` is without its "Z".
std::optional<Date> shortenedDate(std::string_view text) {
    std::array<int, 6> values{0, 1, 1, 0, 0, 0};
    // Each part: its separator before it (none for the year), its width.
    static constexpr std::array<std::pair<char, std::size_t>, 6> kParts{
        {{'\0', 4}, {'-', 2}, {'-', 2}, {'T', 2}, {':', 2}, {':', 2}}};
    std::size_t at = 0;
    for (std::size_t part = 0; part < kParts.size() && at < text.size(); ++part) {
        const auto [separator, width] = kParts[part];
        if (separator != '\0' && text[at++] != separator) return std::nullopt;
        if (at + width > text.size() || !digits(text, at, width, values[part])) return std::nullopt;
        at += width;
    }
    if (at != text.size()) return std::nullopt;
    return dateFrom(values);
}

}  // namespace

std::optional<Date> parseDate(std::string_view text) {
    if (text.size() < 5 || text.back() != 'Z') return std::nullopt;
    text.remove_suffix(1);
    return isCompleteForm(text) ? completeDate(text) : shortenedDate(text);
}

}  // namespace kelvara::plist
