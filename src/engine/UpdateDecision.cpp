#include "engine/UpdateDecision.h"

#include <sys/stat.h>

#include "library/ValidUtf8.h"

namespace kelvara {
namespace {

FileStamp stampOf(const struct stat& info) {
    return {static_cast<std::int64_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

}  // namespace

const char* UpdateDecision::Verdict::planWord() const {
    switch (reason) {
        case Reason::New:
        case Reason::OutputMissing:
            return "new";
        case Reason::Exists:
            return "exists (skip)";
        case Reason::Unchanged:
            return "unchanged (skip)";
        case Reason::Replace:
        case Reason::SourceChanged:
        case Reason::ShapeChanged:
        case Reason::OutputChanged:
        case Reason::NotRecorded:
            break;
    }
    return "replace";
}

const char* UpdateDecision::Verdict::detail() const {
    switch (reason) {
        case Reason::New:
            return "";
        case Reason::Exists:
            return "file exists";
        case Reason::Unchanged:
            return "unchanged since it was exported";
        case Reason::Replace:
            return "file exists";
        case Reason::SourceChanged:
            return "source changed";
        case Reason::ShapeChanged:
            return "export options changed";
        case Reason::OutputChanged:
            return "file changed since it was exported";
        case Reason::OutputMissing:
            return "file removed since it was exported";
        case Reason::NotRecorded:
            break;
    }
    return "file not in the export record";
}

UpdateDecision::Verdict UpdateDecision::decide(Policy policy, const ManifestEntry* recorded,
                                               const std::string& source,
                                               const FileStamp& sourceNow, const OutputShape& shape,
                                               const Destination& destination) {
    if (!destination.exists)
        return {true, recorded && policy == Policy::Update ? Reason::OutputMissing : Reason::New};
    if (policy == Policy::Skip) return {false, Reason::Exists};
    if (policy == Policy::Overwrite) return {true, Reason::Replace};
    if (!recorded || recorded->kind != ManifestEntry::Kind::Song)
        return {true, Reason::NotRecorded};
    if (!destination.regularFile || destination.stamp != recorded->output)
        return {true, Reason::OutputChanged};
    // The record holds the source path as made valid UTF-8; compare like with like.
    std::string sourceText = source;
    makeValidUtf8(sourceText);
    if (sourceText != recorded->source || sourceNow != recorded->sourceStamp)
        return {true, Reason::SourceChanged};
    if (shape != recorded->shape) return {true, Reason::ShapeChanged};
    return {false, Reason::Unchanged};
}

std::optional<FileStamp> UpdateDecision::statSource(const std::filesystem::path& source) {
    struct stat info {};
    if (stat(source.c_str(), &info) != 0) return std::nullopt;
    return stampOf(info);
}

UpdateDecision::Destination UpdateDecision::lstatDestination(
    const std::filesystem::path& destination) {
    struct stat info {};
    if (lstat(destination.c_str(), &info) != 0) return {};
    return {true, S_ISREG(info.st_mode), stampOf(info)};
}

}  // namespace kelvara
