#include "listing/CompoundFileWriter.h"

#include <algorithm>

#include "listing/BiffBuffer.h"

namespace kelvara {
namespace {

constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::size_t kIdsPerSector = CompoundFileWriter::kSectorSize / 4;
constexpr std::size_t kHeaderDifatEntries = 109;

std::size_t sectorsFor(std::size_t bytes) {
    return (bytes + CompoundFileWriter::kSectorSize - 1) / CompoundFileWriter::kSectorSize;
}

void directoryEntry(BiffBuffer& out, std::u16string_view name, std::uint8_t type,
                    std::uint32_t child, std::uint32_t start, std::uint64_t size) {
    const std::size_t begin = out.size();
    const std::size_t units = std::min<std::size_t>(name.size(), 31);
    for (std::size_t i = 0; i < units; ++i) out.put16(name[i]);
    out.putZeros(64 - units * 2);
    out.put16(static_cast<std::uint16_t>(units ? (units + 1) * 2 : 0));
    out.put8(type);
    out.put8(type ? 1 : 0);  // black: a tree this small needs no balancing
    out.put32(kNoStream);
    out.put32(kNoStream);
    out.put32(child);
    out.putZeros(16 + 4 + 8 + 8);  // class id, state bits, creation and modification times
    out.put32(start);
    out.put64(size);
    out.putZeros(128 - (out.size() - begin));
}

}  // namespace

void CompoundFileWriter::write(OutputStream& out, std::u16string_view streamName,
                               const std::vector<std::string_view>& pieces) {
    std::size_t dataSize = 0;
    for (const std::string_view piece : pieces) dataSize += piece.size();
    const std::size_t streamSize = std::max(dataSize, kMiniStreamCutoff);

    // Sectors in file order: the stream, one directory sector, the FAT, then DIFAT sectors for
    // FAT sectors beyond the header's 109.
    const std::size_t streamSectors = sectorsFor(streamSize);
    const std::size_t directorySector = streamSectors;
    std::size_t fatSectors = 1;
    std::size_t difatSectors = 0;
    while (true) {
        const std::size_t total = streamSectors + 1 + fatSectors + difatSectors;
        const std::size_t neededFat = (total + kIdsPerSector - 1) / kIdsPerSector;
        const std::size_t neededDifat =
            neededFat > kHeaderDifatEntries
                ? (neededFat - kHeaderDifatEntries + kIdsPerSector - 2) / (kIdsPerSector - 1)
                : 0;
        if (neededFat == fatSectors && neededDifat == difatSectors) break;
        fatSectors = std::max(fatSectors, neededFat);
        difatSectors = std::max(difatSectors, neededDifat);
    }
    const std::size_t firstFat = directorySector + 1;
    const std::size_t firstDifat = firstFat + fatSectors;

    BiffBuffer header;
    header.putBytes(std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    header.putZeros(16);
    header.put16(0x003E);  // minor version
    header.put16(0x0003);  // major version 3
    header.put16(0xFFFE);  // little-endian
    header.put16(9);       // 512-byte sectors
    header.put16(6);       // 64-byte mini sectors
    header.putZeros(6);
    header.put32(0);  // directory sector count: always 0 in version 3
    header.put32(static_cast<std::uint32_t>(fatSectors));
    header.put32(static_cast<std::uint32_t>(directorySector));
    header.put32(0);
    header.put32(static_cast<std::uint32_t>(kMiniStreamCutoff));
    header.put32(kEndOfChain);  // no mini FAT
    header.put32(0);
    header.put32(difatSectors ? static_cast<std::uint32_t>(firstDifat) : kEndOfChain);
    header.put32(static_cast<std::uint32_t>(difatSectors));
    for (std::size_t i = 0; i < kHeaderDifatEntries; ++i)
        header.put32(i < fatSectors ? static_cast<std::uint32_t>(firstFat + i) : kFreeSector);
    out.write(header.bytes());

    for (const std::string_view piece : pieces) out.write(piece);
    out.write(std::string(streamSectors * kSectorSize - dataSize, '\0'));

    BiffBuffer directory;
    directoryEntry(directory, u"Root Entry", 5, 1, kEndOfChain, 0);
    directoryEntry(directory, streamName, 2, kNoStream, 0, streamSize);
    for (int unused = 0; unused < 2; ++unused) directoryEntry(directory, u"", 0, kNoStream, 0, 0);
    out.write(directory.bytes());

    BiffBuffer fat;
    for (std::size_t s = 0; s < streamSectors; ++s)
        fat.put32(s + 1 < streamSectors ? static_cast<std::uint32_t>(s + 1) : kEndOfChain);
    fat.put32(kEndOfChain);  // the directory
    for (std::size_t s = 0; s < fatSectors; ++s) fat.put32(kFatSector);
    for (std::size_t s = 0; s < difatSectors; ++s) fat.put32(kDifatSector);
    while (fat.size() < fatSectors * kSectorSize) fat.put32(kFreeSector);
    out.write(fat.bytes());

    BiffBuffer difat;
    std::size_t nextFat = kHeaderDifatEntries;
    for (std::size_t d = 0; d < difatSectors; ++d) {
        for (std::size_t k = 0; k < kIdsPerSector - 1; ++k, ++nextFat)
            difat.put32(nextFat < fatSectors ? static_cast<std::uint32_t>(firstFat + nextFat)
                                             : kFreeSector);
        difat.put32(d + 1 < difatSectors ? static_cast<std::uint32_t>(firstDifat + d + 1)
                                         : kEndOfChain);
    }
    out.write(difat.bytes());
}

}  // namespace kelvara
