#include "platform/DesktopNotifier.h"

#include <systemd/sd-bus.h>

#include <cstdint>

namespace kelvara {

bool postDesktopNotification(const std::string& title, const std::string& text) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return false;
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const bool posted =
        sd_bus_message_new_method_call(bus, &call, "org.freedesktop.Notifications",
                                       "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                                       "Notify") >= 0 &&
        sd_bus_message_append(call, "susss", "Kelvara", std::uint32_t{0}, "", title.c_str(), text.c_str()) >= 0 &&
        sd_bus_message_append(call, "as", 0) >= 0 &&
        sd_bus_message_append(call, "a{sv}", 1, "sound-name", "s", "message-new-instant") >= 0 &&
        sd_bus_message_append(call, "i", -1) >= 0 &&
        sd_bus_call(bus, call, 2'000'000, &error, &reply) >= 0;
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(call);
    sd_bus_flush_close_unref(bus);
    return posted;
}

}  // namespace kelvara
