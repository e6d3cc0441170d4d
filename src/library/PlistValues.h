#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <pugixml.hpp>
#include <string_view>

#include "library/LibraryTypes.h"

// Typed reads of the values in a property list. A value of the wrong element type, or whose text
// does not parse, is absent, as if its key were missing: real libraries differ too much between
// versions for anything stricter.
namespace kelvara::plist {

// Whether `node` is the element `name`. Compared in place rather than with strcmp: it runs for
// every value of every track.
inline bool isElement(const pugi::xml_node& node, const char* name) {
    const char* actual = node.name();
    while (*name && *actual == *name) {
        ++actual;
        ++name;
    }
    return *actual == *name;
}

// A <string>, made valid UTF-8; absent for any other element.
OptionalText textValue(const pugi::xml_node& node);

// An <integer>, or a <real> truncated toward zero; absent when it does not fit 64 bits.
std::optional<std::int64_t> integerValue(const pugi::xml_node& node);

// An unsigned number that fits T; anything else reads as 0 (unset).
template <typename T>
T unsignedValue(const pugi::xml_node& node) {
    const auto value = integerValue(node);
    if (!value || *value < 0 ||
        static_cast<std::uint64_t>(*value) > std::numeric_limits<T>::max()) {
        return 0;
    }
    return static_cast<T>(*value);
}

// <true/> or <false/>, or a number that is not 0; false for anything else.
bool boolValue(const pugi::xml_node& node);

// A <date> (see parseDate); absent for any other element or a date that does not parse.
std::optional<Date> dateValue(const pugi::xml_node& node);

// A persistent ID written as 16 hex digits in a <string>; absent otherwise.
std::optional<PersistentID> persistentIDValue(const pugi::xml_node& node);

// Calls visit(key, value) for each key/value pair of a <dict>, in document order. A <key> without
// a value after it ends the walk.
template <typename Visit>
void forEachEntry(const pugi::xml_node& dict, Visit&& visit) {
    for (pugi::xml_node key = dict.first_child(); key; key = key.next_sibling()) {
        if (!isElement(key, "key")) continue;
        const pugi::xml_node value = key.next_sibling();
        if (!value) break;
        visit(std::string_view(key.child_value()), value);
        key = value;
    }
}

}  // namespace kelvara::plist
