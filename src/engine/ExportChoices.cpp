#include "engine/ExportChoices.h"

#include <array>

#include "engine/KvrUserOptions.h"

namespace kelvara {
namespace {

constexpr std::array<std::int64_t, 5> kMp3Rates = {0, 128, 160, 192, 256};
constexpr std::array<std::int64_t, 6> kAacRates = {0, 128, 160, 192, 256, 320};
constexpr std::array<FolderLayout, 5> kLayoutOrder = {
    FolderLayout::PlaylistFolder, FolderLayout::MusicArtistAlbum, FolderLayout::RootArtistAlbum,
    FolderLayout::MusicFolder, FolderLayout::Root};

void storeFlag(PreferencesStore& store, const char* key, bool value) {
    store.setBool(key, value);
    store.flush();
}

void storeNumber(PreferencesStore& store, const char* key, std::int64_t value) {
    store.setInteger(key, value);
    store.flush();
}

}  // namespace

std::span<const std::int64_t> mp3BitRates() { return kMp3Rates; }
std::span<const std::int64_t> aacBitRates() { return kAacRates; }

std::int64_t bitRateAt(std::span<const std::int64_t> rates, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < rates.size() ? rates[index] : 0;
}

int bitRateIndex(std::span<const std::int64_t> rates, std::int64_t rate) {
    for (std::size_t i = 1; i < rates.size(); ++i)
        if (rates[i] == rate) return static_cast<int>(i);
    return 0;
}

FolderLayout folderLayoutAt(int index) {
    return index >= 0 && static_cast<std::size_t>(index) < kLayoutOrder.size()
               ? kLayoutOrder[index]
               : FolderLayout::PlaylistFolder;
}

std::optional<int> folderLayoutIndex(std::int64_t value) {
    for (std::size_t i = 0; i < kLayoutOrder.size(); ++i)
        if (toStored(kLayoutOrder[i]) == value) return static_cast<int>(i);
    return std::nullopt;
}

int algorithmIndex(const KvrUserOptions& options, const PreferencesStore& store) {
    if (store.integerForKey("Algorithm").value_or(0) < 0) return 1;
    return static_cast<int>(toStored(options.algorithm()));
}

int ExportChoices::storedFileNameIndex(const PreferencesStore& store) {
    const std::int64_t stored = store.integerForKey("fileNameSelectionIndex").value_or(1);
    return stored >= 0 && stored < fileNameCount ? static_cast<int>(stored) : 1;
}

bool ExportChoices::restoreFrom(const PreferencesStore& store) {
    const auto stored = store.integerForKey("ExportContent");
    if (!stored) return false;
    content = *stored == 0   ? ItemChoice::Ticked
              : *stored == 1 ? ItemChoice::Current
                             : ItemChoice::All;
    playlistFiles = store.integerForKey("whatToExport").value_or(0) == 0;
    artwork = store.boolForKey("exportArtWork").value_or(false);
    excludeDrm = store.boolForKey("donotExportDRMFiles").value_or(false);
    fileNameIndex = storedFileNameIndex(store);
    if (const auto rate = store.integerForKey("AacBitRate"))
        aacIndex = bitRateIndex(aacBitRates(), *rate);
    if (const auto rate = store.integerForKey("MpeBitRate"))
        mp3Index = bitRateIndex(mp3BitRates(), *rate);
    convertToMp3 = store.boolForKey("ConvertToMp3").value_or(false);
    convertToAac = !convertToMp3 && store.boolForKey("ConvertToAac").value_or(false);
    return true;
}

void ExportChoices::storeTo(PreferencesStore& store) const {
    storeNumber(store, "ExportContent",
                content == ItemChoice::Ticked    ? 0
                : content == ItemChoice::Current ? 1
                                                 : 2);
    storeNumber(store, "whatToExport", playlistFiles ? 0 : 1);
    storeFlag(store, "exportArtWork", artwork);
    storeFlag(store, "donotExportDRMFiles", excludeDrm);
    storeNumber(store, "fileNameSelectionIndex", fileNameIndex);
    storeNumber(store, "AacBitRate", aacBitRate());
    storeNumber(store, "MpeBitRate", mp3BitRate());
    storeFlag(store, "ConvertToMp3", convertToMp3);
    storeFlag(store, "ConvertToAac", convertToAac);
}

void applyOlderLayoutSetting(const PreferencesStore& store, KvrUserOptions& options) {
    if (store.boolForKey("CreateArtistFolder").value_or(false) &&
        !store.contains("OrginizeFilesOption"))
        options.setFilesSaveToFolder(FolderLayout::MusicArtistAlbum);
}

FormatList storedCustomFormat(PreferencesStore& store) {
    if (const auto stored = store.objectForKey("CustomFormat")) {
        // A stored value that is not a list leaves the pattern unset, as the dialog always did.
        return FormatList::fromJson(*stored).value_or(FormatList());
    }
    FormatList format = FormatList::defaultFormat();
    store.setObject("CustomFormat", format.toJson());
    store.flush();
    return format;
}

std::int64_t storedTrackNumberFormat(const PreferencesStore& store) {
    return store.integerForKey("NumberFormat").value_or(3);
}

std::string customFormatLabelText(const FormatList& format) {
    std::string text;
    for (const FormatList::Element& element : format.elements()) {
        if (const auto* literal = std::get_if<std::string>(&element)) {
            text += *literal;
            continue;
        }
        const std::string& name = std::get<MetadataToken>(element).name;
        // Track numbers are shown as "Track No"; the other names as they are.
        text += "<" + (name == MetadataToken::kTrackNo ? std::string("Track No") : name) + ">";
    }
    return text;
}

}  // namespace kelvara
