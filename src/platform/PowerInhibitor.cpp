#include "platform/PowerInhibitor.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace kelvara {
namespace {

// A bus that answers nothing must not hold up the start of an export.
constexpr std::uint64_t kCallTimeoutUsec = 2'000'000;

}  // namespace

bool PowerInhibitor::begin(const std::string& why) {
    if (fd_ >= 0) return true;
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) return false;
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int fd = -1;
    if (sd_bus_message_new_method_call(bus, &call, "org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "Inhibit") >= 0 &&
        sd_bus_message_append(call, "ssss", "idle:sleep", "Kelvara", why.c_str(), "block") >= 0 &&
        sd_bus_call(bus, call, kCallTimeoutUsec, &error, &reply) >= 0 &&
        sd_bus_message_read(reply, "h", &fd) >= 0) {
        // The descriptor belongs to the reply; the lock lives as long as our duplicate.
        fd_ = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(call);
    sd_bus_flush_close_unref(bus);
    return fd_ >= 0;
}

void PowerInhibitor::end() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

}  // namespace kelvara
