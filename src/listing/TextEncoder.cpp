#include "listing/TextEncoder.h"

#include <cerrno>
#include <stdexcept>

#include "platform/TextCompare.h"

namespace kelvara {

TextEncoder::TextEncoder(std::string encoding) : encoding_(std::move(encoding)) {
    utf8_ = equalsIgnoringCase(encoding_, "UTF-8") || equalsIgnoringCase(encoding_, "UTF8");
    if (utf8_) return;
    converter_ = openIconv(encoding_.c_str(), "UTF-8");
    if (!converter_) throw std::invalid_argument("unknown text encoding \"" + encoding_ + "\"");
}

std::string TextEncoder::encode(std::string_view utf8) const {
    if (utf8_) return std::string(utf8);
    const iconv_t handle = converter_.get();
    // A fresh state per piece: the encoding starts every piece as it would start a document.
    iconv(handle, nullptr, nullptr, nullptr, nullptr);

    std::string out;
    char buffer[256];
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    const auto drain = [&](char* end) {
        out.append(buffer, static_cast<std::size_t>(end - buffer));
    };
    while (true) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result =
            iconv(handle, inLeft ? &in : nullptr, &inLeft, &outPtr, &outLeft);
        drain(outPtr);
        if (result != static_cast<std::size_t>(-1)) {
            if (inLeft == 0) break;
            continue;
        }
        if (errno == E2BIG) continue;
        // Unconvertible or malformed: one replacement for the whole character, then go on.
        if (inLeft == 0) break;
        std::size_t skip = 1;
        while (skip < inLeft && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) ++skip;
        in += skip;
        inLeft -= skip;
        char* replacementIn = const_cast<char*>("?");
        std::size_t replacementLeft = 1;
        outPtr = buffer;
        outLeft = sizeof buffer;
        iconv(handle, &replacementIn, &replacementLeft, &outPtr, &outLeft);
        drain(outPtr);
    }
    // Flush any shift state the encoding keeps.
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(handle, nullptr, nullptr, &outPtr, &outLeft);
    drain(outPtr);
    return out;
}

}  // namespace kelvara
