#include "listing/BiffBuffer.h"

#include <bit>
#include <cstring>

namespace kelvara {

void BiffBuffer::putDouble(double v) {
    static_assert(std::endian::native == std::endian::little ||
                  std::endian::native == std::endian::big);
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    put64(bits);
}

}  // namespace kelvara
