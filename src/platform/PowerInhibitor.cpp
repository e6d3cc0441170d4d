#include "platform/PowerInhibitor.h"

#include <fcntl.h>

#include "platform/SdBusHandles.h"

namespace kelvara {
namespace {

// A bus that answers nothing must not hold up the start of an export.
constexpr std::uint64_t kCallTimeoutUsec = 2'000'000;

}  // namespace

bool PowerInhibitor::begin(const std::string& why) {
    if (fd_) return true;
    sd_bus* rawBus = nullptr;
    if (sd_bus_open_system(&rawBus) < 0) return false;
    const SdBus bus(rawBus);
    sd_bus_message* rawCall = nullptr;
    const int created = sd_bus_message_new_method_call(
        bus.get(), &rawCall, "org.freedesktop.login1", "/org/freedesktop/login1",
        "org.freedesktop.login1.Manager", "Inhibit");
    const SdBusMessage call(rawCall);
    if (created < 0) return false;
    sd_bus_message* m = call.get();
    sd_bus_message* rawReply = nullptr;
    SdBusError error;
    const bool called =
        sd_bus_message_append(m, "ssss", "idle:sleep", "Kelvara", why.c_str(), "block") >= 0 &&
        sd_bus_call(bus.get(), m, kCallTimeoutUsec, error.get(), &rawReply) >= 0;
    const SdBusMessage reply(rawReply);
    int fd = -1;
    if (called && sd_bus_message_read(reply.get(), "h", &fd) >= 0) {
        // The descriptor belongs to the reply; the lock lives as long as our duplicate.
        fd_.reset(fcntl(fd, F_DUPFD_CLOEXEC, 3));
    }
    return static_cast<bool>(fd_);
}

void PowerInhibitor::end() { fd_.reset(); }

}  // namespace kelvara
