#pragma once

#include <string>

#include "platform/UniqueHandles.h"

namespace kelvara {

// Keeps the computer from idling or sleeping while it is held: a logind inhibitor lock
// ("idle:sleep") taken over the system bus. Where there is no system bus or no logind (servers,
// containers) holding it does nothing, quietly.
class PowerInhibitor {
  public:
    PowerInhibitor() = default;
    ~PowerInhibitor() = default;
    PowerInhibitor(const PowerInhibitor&) = delete;
    PowerInhibitor& operator=(const PowerInhibitor&) = delete;

    // Returns whether a lock is now held. Taking it again while held keeps the one lock.
    bool begin(const std::string& why);
    void end();
    bool held() const { return static_cast<bool>(fd_); }

  private:
    UniqueFd fd_;
};

}  // namespace kelvara
