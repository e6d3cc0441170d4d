#pragma once

#include <QString>
#include <string>
#include <string_view>

// The search fields match ignoring case and accents: "beyonce" finds "Beyoncé".
namespace SearchText {

// The form both sides are brought to before the contains test.
std::string fold(std::string_view text);
std::string fold(const QString& text);

}  // namespace SearchText
