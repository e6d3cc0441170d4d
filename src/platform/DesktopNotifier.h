#pragma once

#include <string>

namespace kelvara {

// Posts a desktop notification (freedesktop Notifications over the session bus) with the
// default sound. Returns false, quietly, when there is no session bus or no notification server.
bool postDesktopNotification(const std::string& title, const std::string& text);

}  // namespace kelvara
