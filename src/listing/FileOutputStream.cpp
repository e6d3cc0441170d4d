#include "listing/FileOutputStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kelvara {

FileOutputStream::FileOutputStream(std::filesystem::path path)
    : path_(std::move(path)), ownsFd_(true) {
    buffer_.reserve(kBufferSize);
}

FileOutputStream::FileOutputStream(int fd) : fd_(fd) {
    buffer_.reserve(kBufferSize);
    if (fd_ < 0) fail("no file to write to");
}

FileOutputStream::~FileOutputStream() { close(); }

void FileOutputStream::open() {
    if (fd_ >= 0 || closed_ || !ownsFd_ || failed()) return;
    owned_.reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    fd_ = owned_.get();
    if (fd_ < 0) fail(std::strerror(errno));
}

void FileOutputStream::write(std::string_view bytes) {
    if (fd_ < 0) open();
    if (fd_ < 0 || failed()) return;
    if (buffer_.size() + bytes.size() > kBufferSize) {
        flush();
        if (bytes.size() >= kBufferSize) {
            writeThrough(bytes);
            return;
        }
    }
    buffer_.append(bytes);
}

void FileOutputStream::flush() {
    if (fd_ < 0 || buffer_.empty()) return;
    writeThrough(buffer_);
    buffer_.clear();
}

void FileOutputStream::writeThrough(std::string_view bytes) {
    while (!bytes.empty() && !failed()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            fail(std::strerror(errno));
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void FileOutputStream::close() {
    if (fd_ < 0) {
        closed_ = true;
        return;
    }
    flush();
    if (owned_.close() != 0 && !failed()) fail(std::strerror(errno));
    fd_ = -1;
    closed_ = true;
}

}  // namespace kelvara
