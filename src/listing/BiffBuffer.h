#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvara {

// Little-endian bytes for the BIFF8 and compound-file writers, with record framing.
class BiffBuffer {
  public:
    std::string& bytes() { return bytes_; }
    const std::string& bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

    void put8(std::uint8_t v) { bytes_ += static_cast<char>(v); }
    void put16(std::uint16_t v) {
        put8(static_cast<std::uint8_t>(v));
        put8(static_cast<std::uint8_t>(v >> 8));
    }
    void put32(std::uint32_t v) {
        put16(static_cast<std::uint16_t>(v));
        put16(static_cast<std::uint16_t>(v >> 16));
    }
    void put64(std::uint64_t v) {
        put32(static_cast<std::uint32_t>(v));
        put32(static_cast<std::uint32_t>(v >> 32));
    }
    void putDouble(double v);
    void putBytes(std::string_view b) { bytes_.append(b); }
    void putZeros(std::size_t n) { bytes_.append(n, '\0'); }

    void patch16(std::size_t at, std::uint16_t v) {
        bytes_[at] = static_cast<char>(v);
        bytes_[at + 1] = static_cast<char>(v >> 8);
    }
    void patch32(std::size_t at, std::uint32_t v) {
        patch16(at, static_cast<std::uint16_t>(v));
        patch16(at + 2, static_cast<std::uint16_t>(v >> 16));
    }

    // A record whose body is written between begin and end; end() fills in the length.
    std::size_t beginRecord(std::uint16_t type) {
        const std::size_t start = size();
        put16(type);
        put16(0);
        return start;
    }
    void endRecord(std::size_t start) {
        patch16(start + 2, static_cast<std::uint16_t>(size() - start - 4));
    }

    // A record with a body of at most kMaxRecordData bytes.
    void record(std::uint16_t type, std::string_view body) {
        put16(type);
        put16(static_cast<std::uint16_t>(body.size()));
        putBytes(body);
    }

    // The largest record body BIFF8 allows; longer data goes on in CONTINUE records.
    static constexpr std::size_t kMaxRecordData = 8224;

  private:
    std::string bytes_;
};

}  // namespace kelvara
