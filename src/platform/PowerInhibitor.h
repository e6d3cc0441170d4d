#pragma once

#include <string>

namespace kelvara {

// Keeps the computer from idling or sleeping while it is held: a logind inhibitor lock
// ("idle:sleep") taken over the system bus. Where there is no system bus or no logind (servers,
// containers) holding it does nothing, quietly.
class PowerInhibitor {
public:
    PowerInhibitor() = default;
    ~PowerInhibitor() { end(); }
    PowerInhibitor(const PowerInhibitor&) = delete;
    PowerInhibitor& operator=(const PowerInhibitor&) = delete;

    // Returns whether a lock is now held. Taking it again while held keeps the one lock.
    bool begin(const std::string& why);
    void end();
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace kelvara
