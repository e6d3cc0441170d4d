#pragma once

#include <atomic>
#include <filesystem>
#include <string>

namespace kelvara {

// Copies `source` to `destination` unchanged, keeping its modification time. The data goes to a
// temporary file in the destination's folder (reflinked where the file system shares extents,
// else copied in the kernel) and is renamed over `destination` only when complete, so an existing
// file is replaced in one step and an interruption leaves no partial file under the final name.
// When `abort` becomes true the copy stops between chunks and removes its temporary file.
// On failure returns false with `error` naming the path and the system's reason.
bool copyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& destination,
                        std::string& error, const std::atomic<bool>* abort = nullptr);

}  // namespace kelvara
