#pragma once

#include <string>
#include <string_view>

namespace kelvara {

// A byte sink the listing writers append to. Failures are sticky: the first one is kept and
// later writes are dropped, so writers can stream freely and check once at the end.
class OutputStream {
  public:
    virtual ~OutputStream() = default;

    virtual void open() {}
    virtual bool isOpen() const = 0;
    virtual void write(std::string_view bytes) = 0;
    virtual void close() = 0;

    bool failed() const { return !error_.empty(); }
    // The system's reason for the first failure; callers add which file it was.
    const std::string& error() const { return error_; }

  protected:
    void fail(std::string message) {
        if (error_.empty()) error_ = std::move(message);
    }

  private:
    std::string error_;
};

}  // namespace kelvara
