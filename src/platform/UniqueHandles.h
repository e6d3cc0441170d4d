#pragma once

// Owners for the C handles Kelvara holds: each is released by its library's own free function on
// every path out of a scope. Pointer handles share one template; a descriptor is an int, so it has
// its own small class. Handles of libraries only one subsystem links (FFmpeg, sd-bus) get their
// aliases beside that code, so nobody else needs those headers.

#include <iconv.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <type_traits>
#include <utility>

namespace kelvara {

// Calls `Free` on a non-null handle. Free functions that take `T**` (FFmpeg's, which also null
// the pointer) are given the address instead.
template <typename T, auto Free>
struct HandleDeleter {
    void operator()(T* handle) const {
        if constexpr (std::is_invocable_v<decltype(Free), T*>)
            Free(handle);
        else
            Free(&handle);
    }
};

// A move-only owner of a C handle that `Free` releases.
template <typename T, auto Free>
using UniqueHandle = std::unique_ptr<T, HandleDeleter<T, Free>>;

namespace detail {
// Standard library functions may not have their address taken; this one may.
inline void closeFile(std::FILE* file) { std::fclose(file); }
}  // namespace detail

// A stdio stream. The destructor loses fclose's result, so a writer calls
// std::fclose(file.release()) itself where a failed flush matters.
using UniqueFile = UniqueHandle<std::FILE, &detail::closeFile>;

// An iconv conversion descriptor (iconv_t is a pointer to void).
using UniqueIconv = UniqueHandle<std::remove_pointer_t<iconv_t>, &iconv_close>;

// Opens an iconv conversion; null when the system knows either encoding not.
inline UniqueIconv openIconv(const char* to, const char* from) {
    const iconv_t cd = iconv_open(to, from);
    return UniqueIconv(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd);
}

// A file descriptor: move-only, closed by the destructor; -1 when empty.
class UniqueFd {
  public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    // Gives up ownership without closing.
    int release() noexcept { return std::exchange(fd_, -1); }
    // Closes the held descriptor (if any) and takes `fd`.
    void reset(int fd = -1) noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now and reports close()'s own result (0, or -1 with errno), for writers that must
    // know the data reached the file; empty afterwards.
    int close() noexcept { return fd_ >= 0 ? ::close(release()) : 0; }

  private:
    int fd_ = -1;
};

}  // namespace kelvara
