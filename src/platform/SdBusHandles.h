#pragma once

#include <systemd/sd-bus.h>

#include "platform/UniqueHandles.h"

namespace kelvara {

// A bus connection, flushed and closed at the end, and a bus message.
using SdBus = UniqueHandle<sd_bus, &sd_bus_flush_close_unref>;
using SdBusMessage = UniqueHandle<sd_bus_message, &sd_bus_message_unref>;

// Owns an sd_bus_error's texts.
class SdBusError {
  public:
    SdBusError() = default;
    ~SdBusError() { sd_bus_error_free(&error_); }
    SdBusError(const SdBusError&) = delete;
    SdBusError& operator=(const SdBusError&) = delete;
    sd_bus_error* get() { return &error_; }

  private:
    sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

}  // namespace kelvara
