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
        options = std::make_unique<KvrUserOptions>(loadFrom(PreferencesStore::standardUserDefaults()));
    return *options;
}

void KvrUserOptions::resetSharedOptions() {
    std::lock_guard lock(sharedMutex());
    sharedOptions().reset();
}

KvrUserOptions KvrUserOptions::loadFrom(const PreferencesStore& store) {
    KvrUserOptions o;
    auto flag = [&](const char* key, bool fallback) { return store.boolForKey(key).value_or(fallback); };
    auto integer = [&](const char* key, std::int64_t fallback) {
        return store.integerForKey(key).value_or(fallback);
    };
    o.saveM3uWithFiles_ = flag("SaveM3uWithFiles", true);
    o.dontConvertLossyFormats_ = flag("DontConvertLossyFormats", false);
    const std::int64_t layout = integer("OrginizeFilesOption", 0);
    o.filesSaveToFolder_ = (layout >= 1 && layout <= 4) ? static_cast<std::int32_t>(layout) : 0;
    o.skipIfExists_ = flag("SkipIfExists", true);
    o.windowsPaths_ = flag("WindowsPaths", false);
    o.dontConvertSameType_ = flag("DontConvertSameType", true);
    o.lineEnding_ = integer("LineEnding", 0);
    o.algorithm_ = integer("Algorithm", 1);
    // The stored number is cut to its low 32 bits.
    o.tracksOrder_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(integer("TracksOrder", 0)));
    o.orderAscending_ = flag("OrderAscending", true);
    o.deleteHiddenFiles_ = flag("DeleteHiddenFiles", true);
    const std::int64_t encoding = integer("PlaylistEncoding", 0);
    o.playlistEncoding_ = (encoding == 1 || encoding == 2) ? static_cast<std::int32_t>(encoding) : 0;
    return o;
}

void KvrUserOptions::saveTo(PreferencesStore& store) const {
    auto flag = [&](const char* key, bool value) { store.setInteger(key, value ? 1 : 0); };
    flag("SaveM3uWithFiles", saveM3uWithFiles_);
    flag("DontConvertLossyFormats", dontConvertLossyFormats_);
    store.setInteger("OrginizeFilesOption", filesSaveToFolder_);
    flag("SkipIfExists", skipIfExists_);
    flag("WindowsPaths", windowsPaths_);
    flag("DontConvertSameType", dontConvertSameType_);
    store.setInteger("LineEnding", lineEnding_);
    store.setInteger("Algorithm", algorithm_);
    store.setInteger("TracksOrder", tracksOrder_);
    flag("OrderAscending", orderAscending_);
    flag("DeleteHiddenFiles", deleteHiddenFiles_);
    store.setInteger("PlaylistEncoding", playlistEncoding_);
}

int KvrUserOptions::lameQuality() const {
    if (algorithm_ == 0) return 2;
    if (algorithm_ == 1) return 5;
    return 7;
}

}  // namespace kelvara
