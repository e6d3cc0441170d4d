#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "listing/OutputStream.h"
#include "platform/UniqueHandles.h"

namespace kelvara {

// Buffered writes to a file descriptor. Either opens a path itself (created or truncated) or
// writes to a descriptor that someone else owns, such as an AtomicFile's.
class FileOutputStream final : public OutputStream {
  public:
    // Opens lazily, at open() or the first write, so that constructing never fails.
    explicit FileOutputStream(std::filesystem::path path);
    // Borrows `fd`: close() flushes but leaves the descriptor open for its owner.
    explicit FileOutputStream(int fd);
    ~FileOutputStream() override;
    FileOutputStream(const FileOutputStream&) = delete;
    FileOutputStream& operator=(const FileOutputStream&) = delete;

    void open() override;
    bool isOpen() const override { return fd_ >= 0; }
    void write(std::string_view bytes) override;
    void close() override;
    // Writes out the buffer without closing.
    void flush();

  private:
    void writeThrough(std::string_view bytes);

    static constexpr std::size_t kBufferSize = 1 << 16;
    std::filesystem::path path_;
    int fd_ = -1;     // where the bytes go: `owned_`'s or the borrowed one
    UniqueFd owned_;  // the descriptor this stream opened itself
    bool ownsFd_ = false;
    bool closed_ = false;
    std::string buffer_;
};

}  // namespace kelvara
