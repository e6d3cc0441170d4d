#include "app/SearchText.h"

#include "platform/UnicodeText.h"

namespace SearchText {

std::string fold(std::string_view text) { return kelvara::caseFolded(kelvara::withoutMarks(text)); }

std::string fold(const QString& text) { return fold(text.toStdString()); }

}  // namespace SearchText
