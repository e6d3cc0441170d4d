#include "engine/KvrUserOptions.h"

#include <mutex>

namespace kelvara {
namespace {

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::unique_ptr<KvrUserOptions>& sharedOptions() {
    static std::unique_ptr<KvrUserOptions> options;
    return options;
}

}  // namespace

KvrUserOptions& KvrUserOptions::shareOptions() {
    std::lock_guard lock(sharedMutex());
    auto& options = sharedOptions();
    if (!options)
        options =
            std::make_unique<KvrUserOptions>(loadFrom(PreferencesStore::standardUserDefaults()));
    return *options;
}

void KvrUserOptions::resetSharedOptions() {
    std::lock_guard lock(sharedMutex());
    sharedOptions().reset();
}

KvrUserOptions KvrUserOptions::loadFrom(const PreferencesStore& store) {
    KvrUserOptions o;
    auto flag = [&](const char* key, bool fallback) {
        return store.boolForKey(key).value_or(fallback);
    };
    auto integer = [&](const char* key, std::int64_t fallback) {
        return store.integerForKey(key).value_or(fallback);
    };
    o.saveM3uWithFiles_ = flag("SaveM3uWithFiles", true);
    o.dontConvertLossyFormats_ = flag("DontConvertLossyFormats", false);
    o.filesSaveToFolder_ = storedOption<FolderLayout>(integer("OrginizeFilesOption", 0));
    // 2 is "update when changed"; any other value reads as the yes/no it always was.
    o.existingFiles_ = integer("SkipIfExists", 1) == 2 ? ExistingFiles::UpdateWhenChanged
                       : flag("SkipIfExists", true)    ? ExistingFiles::Skip
                                                       : ExistingFiles::Replace;
    o.windowsPaths_ = flag("WindowsPaths", false);
    o.dontConvertSameType_ = flag("DontConvertSameType", true);
    o.lineEnding_ = storedOption<LineEnding>(integer("LineEnding", 0));
    o.algorithm_ = storedOption<Mp3Algorithm>(integer("Algorithm", 1));
    // The stored number is cut to its low 32 bits.
    o.tracksOrder_ = storedOption<TrackOrder>(
        static_cast<std::int32_t>(static_cast<std::uint32_t>(integer("TracksOrder", 0))));
    o.orderAscending_ = flag("OrderAscending", true);
    o.deleteHiddenFiles_ = flag("DeleteHiddenFiles", true);
    o.playlistEncoding_ = storedOption<PlaylistEncoding>(integer("PlaylistEncoding", 0));
    // A negative or absurd count reads as the default: one song per core.
    const std::int64_t parallel = integer("ParallelSongs", 0);
    o.parallelSongs_ =
        parallel >= 0 && parallel <= kMaxParallelSongs ? static_cast<int>(parallel) : 0;
    o.mirrorDestination_ = flag("MirrorDestination", false);
    return o;
}

void KvrUserOptions::saveTo(PreferencesStore& store) const {
    auto flag = [&](const char* key, bool value) { store.setInteger(key, value ? 1 : 0); };
    flag("SaveM3uWithFiles", saveM3uWithFiles_);
    flag("DontConvertLossyFormats", dontConvertLossyFormats_);
    store.setInteger("OrginizeFilesOption", toStored(filesSaveToFolder_));
    store.setInteger("SkipIfExists", static_cast<std::int64_t>(existingFiles_));
    flag("WindowsPaths", windowsPaths_);
    flag("DontConvertSameType", dontConvertSameType_);
    store.setInteger("LineEnding", toStored(lineEnding_));
    store.setInteger("Algorithm", toStored(algorithm_));
    store.setInteger("TracksOrder", toStored(tracksOrder_));
    flag("OrderAscending", orderAscending_);
    flag("DeleteHiddenFiles", deleteHiddenFiles_);
    store.setInteger("PlaylistEncoding", toStored(playlistEncoding_));
    store.setInteger("ParallelSongs", parallelSongs_);
    flag("MirrorDestination", mirrorDestination_);
}

int KvrUserOptions::lameQuality() const {
    switch (algorithm_) {
        case Mp3Algorithm::BestQuality:
            return 2;
        case Mp3Algorithm::Standard:
            return 5;
        case Mp3Algorithm::Fastest:
            break;
    }
    return 7;
}

}  // namespace kelvara
