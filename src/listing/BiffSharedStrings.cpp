#include "listing/BiffSharedStrings.h"

#include <algorithm>

#include "listing/BiffText.h"
#include "listing/SpreadsheetBook.h"

namespace kelvara {
namespace {

constexpr std::uint16_t kSst = 0x00FC;
constexpr std::uint16_t kContinue = 0x003C;
constexpr std::uint16_t kExtSst = 0x00FF;

}  // namespace

std::uint32_t BiffSharedStrings::add(std::string_view utf8) {
    ++references_;
    auto [it, inserted] =
        index_.try_emplace(std::string(utf8), static_cast<std::uint32_t>(order_.size()));
    if (inserted) order_.push_back(&it->first);
    return it->second;
}

void BiffSharedStrings::write(BiffBuffer& out, std::size_t streamOffset) const {
    constexpr std::size_t kMax = BiffBuffer::kMaxRecordData;
    std::size_t record = out.beginRecord(kSst);
    out.put32(references_);
    out.put32(uniqueCount());
    const auto used = [&] { return out.size() - record - 4; };
    const auto nextRecord = [&] {
        out.endRecord(record);
        record = out.beginRecord(kContinue);
    };

    // Excel indexes the table in at most 128 buckets of at least 8 strings.
    const std::uint32_t bucketSize = std::max<std::uint32_t>(8, (uniqueCount() + 127) / 128);
    struct Bucket {
        std::uint32_t streamPosition;
        std::uint16_t recordOffset;
    };
    std::vector<Bucket> buckets;

    for (std::size_t i = 0; i < order_.size(); ++i) {
        const std::vector<char16_t> units = biffUtf16(*order_[i], SpreadsheetBook::kMaxCellText);
        const bool wide = !biffFitsCompressed(units);
        const std::size_t unitSize = wide ? 2 : 1;
        // The count and flags never split from the first character.
        if (kMax - used() < 3 + (units.empty() ? 0 : unitSize)) nextRecord();
        if (i % bucketSize == 0)
            buckets.push_back({static_cast<std::uint32_t>(streamOffset + out.size()),
                               static_cast<std::uint16_t>(out.size() - record)});
        out.put16(static_cast<std::uint16_t>(units.size()));
        out.put8(wide ? 1 : 0);
        std::size_t done = 0;
        while (done < units.size()) {
            std::size_t room = (kMax - used()) / unitSize;
            if (room == 0) {
                // Characters go on in a CONTINUE record that repeats the width flag.
                nextRecord();
                out.put8(wide ? 1 : 0);
                room = (kMax - used()) / unitSize;
            }
            const std::size_t take = std::min(room, units.size() - done);
            for (std::size_t k = done; k < done + take; ++k) {
                if (wide)
                    out.put16(units[k]);
                else
                    out.put8(static_cast<std::uint8_t>(units[k]));
            }
            done += take;
        }
    }
    out.endRecord(record);

    record = out.beginRecord(kExtSst);
    out.put16(static_cast<std::uint16_t>(bucketSize));
    for (const Bucket& bucket : buckets) {
        out.put32(bucket.streamPosition);
        out.put16(bucket.recordOffset);
        out.put16(0);
    }
    out.endRecord(record);
}

}  // namespace kelvara
