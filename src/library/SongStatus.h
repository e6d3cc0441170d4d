#pragma once

#include <string_view>
#include <vector>

#include "library/MediaItem.h"

namespace kelvara {

// Why a song list shows a row in red, and the warning shown when a list is loaded.
enum class DisplayStatus { Exportable, InCloud, DRMProtected, FileMissing };

// A row is marked when the item has no local file or is DRM-protected; a cloud item never has a
// local file, so it is always marked.
DisplayStatus displayStatus(const MediaItem& item);

// "ok", "cloud", "drm" or "missing", as the command line prints them.
std::string_view displayStatusName(DisplayStatus status);

// The row's tool tip when marked; empty for an exportable row.
std::string_view displayStatusReason(DisplayStatus status);

enum class ListWarning { None, Cloud, DRM };

// The first item that is in the cloud or DRM-protected decides; the cloud is tested first.
ListWarning warningForItems(const std::vector<const MediaItem*>& items);

}  // namespace kelvara
