#include "platform/DesktopNotifier.h"

#include <cstdint>

#include "platform/SdBusHandles.h"

namespace kelvara {

bool postDesktopNotification(const std::string& title, const std::string& text) {
    sd_bus* rawBus = nullptr;
    if (sd_bus_open_user(&rawBus) < 0) return false;
    const SdBus bus(rawBus);
    sd_bus_message* rawCall = nullptr;
    const int created = sd_bus_message_new_method_call(
        bus.get(), &rawCall, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
        "org.freedesktop.Notifications", "Notify");
    const SdBusMessage call(rawCall);
    if (created < 0) return false;
    sd_bus_message* m = call.get();
    sd_bus_message* rawReply = nullptr;
    SdBusError error;
    const bool posted =
        sd_bus_message_append(m, "susss", "Kelvara", std::uint32_t{0}, "", title.c_str(),
                              text.c_str()) >= 0 &&
        sd_bus_message_append(m, "as", 0) >= 0 &&
        sd_bus_message_append(m, "a{sv}", 1, "sound-name", "s", "message-new-instant") >= 0 &&
        sd_bus_message_append(m, "i", -1) >= 0 &&
        sd_bus_call(bus.get(), m, 2'000'000, error.get(), &rawReply) >= 0;
    const SdBusMessage reply(rawReply);
    return posted;
}

}  // namespace kelvara
