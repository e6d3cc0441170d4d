#pragma once

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/Status.h"

namespace kelvara {

// Copies `source` to `destination` unchanged, keeping its modification time. The data goes to a
// temporary file in the destination's folder (reflinked where the file system shares extents,
// else copied in the kernel) and is renamed over `destination` only when complete, so an existing
// file is replaced in one step and an interruption leaves no partial file under the final name.
// When `abort` becomes true the copy stops between chunks and removes its temporary file.
// A failure names the path and the system's reason.
// The reason not to read `source` when it is something other than a regular file (a FIFO would
// block its reader, a device never ends): "Cannot read PATH: it is not a regular file". Found
// without blocking. Absent for a regular file, and for one that cannot be opened at all (the reader
// then reports why).
std::optional<std::string> notARegularFile(const std::filesystem::path& source);

Status copyFileAtomically(const std::filesystem::path& source,
                          const std::filesystem::path& destination,
                          const std::atomic<bool>* abort = nullptr);

}  // namespace kelvara
