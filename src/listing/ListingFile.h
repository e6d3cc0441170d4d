#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/AtomicFile.h"
#include "platform/Status.h"

namespace kelvara {

// The temporary file a listing is written to before it takes `target`'s place. An existing target
// must be a regular file its owner may write: a read-only listing is refused as cp would refuse
// it, also for root, who could replace it. Temporary files that killed listings left in the
// folder are removed first (not those another run is still writing). Fails naming the target.
Result<std::unique_ptr<AtomicFile>> createListingFile(const std::filesystem::path& target);

}  // namespace kelvara
