#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "listing/BiffBuffer.h"

namespace kelvara {

// The workbook's shared string table: each distinct text is stored once and cells refer to it
// by index. Written as an SST record continued in CONTINUE records, then its EXTSST index.
class BiffSharedStrings {
  public:
    // The index of `utf8`, adding it when new; counts one more reference.
    std::uint32_t add(std::string_view utf8);

    std::uint32_t uniqueCount() const { return static_cast<std::uint32_t>(order_.size()); }
    std::uint32_t referenceCount() const { return references_; }

    // Appends SST, CONTINUE and EXTSST records to `out`, whose first byte is at stream offset
    // `streamOffset` (EXTSST records where the strings start in the stream).
    void write(BiffBuffer& out, std::size_t streamOffset) const;

  private:
    std::unordered_map<std::string, std::uint32_t> index_;
    std::vector<const std::string*> order_;  // keys of index_, which stay put
    std::uint32_t references_ = 0;
};

}  // namespace kelvara
