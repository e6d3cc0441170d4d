#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "listing/OutputStream.h"

namespace kelvara {

// Writes a Compound File Binary container (version 3, 512-byte sectors) holding one stream,
// the way XLS files keep their "Workbook" stream. The stream is given as pieces, written in order
// without being joined. Streams shorter than 4096 bytes are padded with zeros to that size, so
// that they live in regular sectors and the container needs no mini stream.
class CompoundFileWriter {
  public:
    static void write(OutputStream& out, std::u16string_view streamName,
                      const std::vector<std::string_view>& pieces);

    static constexpr std::size_t kSectorSize = 512;
    static constexpr std::size_t kMiniStreamCutoff = 4096;
};

}  // namespace kelvara
