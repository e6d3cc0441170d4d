#pragma once

#include "listing/OutputStream.h"

namespace kelvara {

// Collects the bytes in memory; what tests and small in-memory documents use.
class MemoryOutputStream final : public OutputStream {
  public:
    bool isOpen() const override { return open_; }
    void write(std::string_view bytes) override {
        if (open_) bytes_.append(bytes);
    }
    void close() override { open_ = false; }

    const std::string& bytes() const { return bytes_; }

  private:
    bool open_ = true;
    std::string bytes_;
};

}  // namespace kelvara
