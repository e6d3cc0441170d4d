#include "platform/TextEncoding.h"

#include <iconv.h>
#include <locale.h>

#include <cerrno>

#include "platform/UnicodeText.h"
#include "platform/UniqueHandles.h"
#include "platform/Utf8Decoder.h"

namespace kelvara {
namespace {

const char* iconvName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::CP1252:
            return "CP1252";
        case TextEncoding::CP1253:
            return "CP1253";
        case TextEncoding::ASCII:
            return "ASCII";
        case TextEncoding::UTF8:
            break;
    }
    return "UTF-8";
}

// glibc transliterates by the tables of the current LC_CTYPE; in the plain C locale "é" becomes
// "?". A fixed UTF-8 locale, made once and used only around the conversion, gives every user the
// same names.
locale_t transliterationLocale() {
    static const locale_t locale = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            if (locale_t l = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr)))
                return l;
        }
        return static_cast<locale_t>(nullptr);
    }();
    return locale;
}

// Runs `cd` over the whole input. With `lossy`, an input byte that cannot be converted at all
// (invalid UTF-8, or a character without transliteration) becomes "?" and the conversion goes on.
std::optional<std::string> run(iconv_t cd, std::string_view input, bool lossy) {
    std::string out;
    std::string buffer(input.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    while (true) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t result = iconv(cd, inLeft ? &in : nullptr, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (result != static_cast<std::size_t>(-1)) {
            if (inLeft == 0) break;
            continue;
        }
        if (errno == E2BIG) continue;
        if (!lossy) return std::nullopt;
        // Skip one whole UTF-8 sequence (or one bad byte) and mark it.
        std::size_t skip = 1;
        const auto lead = static_cast<unsigned char>(*in);
        if (lead >= 0xC0) {
            const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            std::size_t valid = 1;
            while (valid < length && valid < inLeft &&
                   (static_cast<unsigned char>(in[valid]) & 0xC0) == 0x80)
                ++valid;
            skip = valid;
        }
        out.push_back('?');
        in += skip;
        inLeft -= skip;
        if (inLeft == 0) break;
    }
    return out;
}

// Every character set offered is a superset of ASCII, and well-formed UTF-8 passes a UTF-8
// round trip unchanged: for names like these (nearly all of them) iconv has nothing to do.
bool isAscii(std::string_view text) {
    for (const unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

bool isWellFormedUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Character c = decodeUtf8(text, at);
        if (!c.valid) return false;
        at += c.length;
    }
    return true;
}

bool passesUnchanged(std::string_view text, TextEncoding encoding) {
    return isAscii(text) || (encoding == TextEncoding::UTF8 && isWellFormedUtf8(text));
}

}  // namespace

std::string encodeLossy(std::string_view utf8, TextEncoding encoding) {
    if (isAscii(utf8)) return std::string(utf8);
    // Mac libraries write names decomposed; composing first lets "e" + accent count as "é".
    const std::string composed = toNFC(utf8);
    if (passesUnchanged(composed, encoding)) return composed;
    if (encoding == TextEncoding::UTF8) {
        auto cd = openIconv("UTF-8", "UTF-8");
        return cd ? run(cd.get(), composed, true).value_or(composed) : composed;
    }
    if (auto exact = encodeExactly(composed, encoding)) return *exact;

    const locale_t locale = transliterationLocale();
    if (!locale) {
        // No UTF-8 locale to transliterate in: accented letters at least keep their base letter.
        auto cd = openIconv(iconvName(encoding), "UTF-8");
        if (!cd) return composed;
        return run(cd.get(), withoutMarks(composed), true).value_or(std::string());
    }
    const std::string target = std::string(iconvName(encoding)) + "//TRANSLIT";
    const locale_t previous = uselocale(locale);
    std::string result;
    if (auto cd = openIconv(target.c_str(), "UTF-8"))
        result = run(cd.get(), composed, true).value_or(std::string());
    uselocale(previous);
    return result;
}

std::optional<std::string> encodeExactly(std::string_view utf8, TextEncoding encoding) {
    auto cd = openIconv(iconvName(encoding), "UTF-8");
    if (!cd) return std::nullopt;
    return run(cd.get(), utf8, false);
}

std::string decodeToUtf8(std::string_view bytes, TextEncoding encoding) {
    if (passesUnchanged(bytes, encoding)) return std::string(bytes);
    auto cd = openIconv("UTF-8", iconvName(encoding));
    if (!cd) return std::string(bytes);
    return run(cd.get(), bytes, true).value_or(std::string());
}

std::string reduceToEncoding(std::string_view utf8, TextEncoding encoding) {
    return decodeToUtf8(encodeLossy(utf8, encoding), encoding);
}

}  // namespace kelvara
