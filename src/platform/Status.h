#pragma once

// The core's one way to report a failure: a Status is ok or carries a message ready for the user
// (what failed, on which path, and the system's or library's reason); a Result<T> carries a value
// or such a message. Neither throws; callers test ok() before reading value().
//
// Example:
//   Result<Config> readConfig(const std::filesystem::path& file) {
//       if (!exists(file)) return errorStatus("Cannot read " + file.string() + ": missing");
//       return Config{...};
//   }
//   auto config = readConfig(file);
//   if (!config.ok()) return config.status();
//   use(*config);

#include <cassert>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace kelvara {

class [[nodiscard]] Status {
  public:
    // Ok.
    Status() = default;

    bool ok() const { return !failed_; }
    // Empty when ok.
    const std::string& message() const { return message_; }

    // Keeps the first failure: an ok status takes `next`, a failed one stays as it is.
    void update(const Status& next) {
        if (ok() && !next.ok()) *this = next;
    }

    // Marks a status that the caller deliberately drops.
    void ignore() const {}

  private:
    friend Status errorStatus(std::string message);
    explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}

    bool failed_ = false;
    std::string message_;
};

inline Status okStatus() { return Status(); }
// A failed status; an empty message still counts as a failure.
inline Status errorStatus(std::string message) { return Status(std::move(message)); }

// A value of type T, or the failed Status that explains why there is none.
template <typename T>
class [[nodiscard]] Result {
    static_assert(!std::is_same_v<std::remove_cv_t<T>, Status>, "use Status directly");

  public:
    // A value.
    Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit, so `return value;` works
    // A failure; `status` must not be ok (an ok status without a value would make value() invalid).
    Result(Status status)
        : status_(std::move(status)) {  // NOLINT: implicit, so `return status;` works
        assert(!status_.ok());
        if (status_.ok()) status_ = errorStatus("");
    }

    bool ok() const { return value_.has_value(); }
    const Status& status() const& { return status_; }
    Status status() && { return std::move(status_); }
    // Empty when ok.
    const std::string& message() const { return status_.message(); }

    // Only when ok().
    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }
    T& operator*() & { return *value_; }
    const T& operator*() const& { return *value_; }
    T&& operator*() && { return std::move(*value_); }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }

  private:
    Status status_;
    std::optional<T> value_;
};

}  // namespace kelvara
