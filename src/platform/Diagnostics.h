#pragma once

#include <functional>
#include <string_view>

namespace kelvara {

// Writes one diagnostic line (no trailing newline) to the current sink: standard error unless a
// front end installed another. Any thread may call it; lines never interleave.
void diagnostic(std::string_view line);

// Routes later diagnostic lines to `sink` (called under a lock, one line at a time); an empty
// function restores standard error. Any thread may call it.
void setDiagnosticSink(std::function<void(std::string_view)> sink);

}  // namespace kelvara
