#include "library/SongStatus.h"

namespace kelvara {

DisplayStatus displayStatus(const MediaItem& item) {
    const auto& location = item.location();
    const bool marked = !location || location->empty() || item.isDRMProtected();
    if (!marked) return DisplayStatus::Exportable;
    if (item.isCloud()) return DisplayStatus::InCloud;
    if (item.isDRMProtected()) return DisplayStatus::DRMProtected;
    return DisplayStatus::FileMissing;
}

std::string_view displayStatusName(DisplayStatus status) {
    switch (status) {
        case DisplayStatus::InCloud:
            return "cloud";
        case DisplayStatus::DRMProtected:
            return "drm";
        case DisplayStatus::FileMissing:
            return "missing";
        case DisplayStatus::Exportable:
            break;
    }
    return "ok";
}

std::string_view displayStatusReason(DisplayStatus status) {
    switch (status) {
        case DisplayStatus::InCloud:
            return "Music file is in cloud. To export this file download it from iTunes.";
        case DisplayStatus::DRMProtected:
            return "Music file is DRM protected, Cannot export DRM protected files.";
        case DisplayStatus::FileMissing:
            return "Music file does not exist or has been removed.";
        case DisplayStatus::Exportable:
            break;
    }
    return "";
}

ListWarning warningForItems(const std::vector<const MediaItem*>& items) {
    for (const MediaItem* item : items) {
        if (item->isCloud()) return ListWarning::Cloud;
        if (item->isDRMProtected()) return ListWarning::DRM;
    }
    return ListWarning::None;
}

}  // namespace kelvara
