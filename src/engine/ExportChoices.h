#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "engine/ExportOptionValues.h"
#include "engine/MetadataToken.h"
#include "library/PlaylistBrowser.h"
#include "platform/PreferencesStore.h"

namespace kelvara {

class KvrUserOptions;

// The bit rates (kbit/s) the export dialog's lists offer, by list position. Position 0 keeps the
// source's bit rate.
std::span<const std::int64_t> mp3BitRates();
std::span<const std::int64_t> aacBitRates();
// The rate at `index` of `rates`; 0 for a position the list does not have.
std::int64_t bitRateAt(std::span<const std::int64_t> rates, int index);
// The position of `rate`; 0 for a rate the list does not offer (224 and 288 among them).
int bitRateIndex(std::span<const std::int64_t> rates, std::int64_t rate);

// The advanced dialog lists the folder layouts in the order 0, 1, 4, 2, 3: the two layouts with
// artist folders side by side.
FolderLayout folderLayoutAt(int index);  // PlaylistFolder for any other position
std::optional<int> folderLayoutIndex(std::int64_t value);

// The algorithm list's position for what the options hold: a negative stored "Algorithm" (which
// the options read as their fastest setting) shows the standard one, as it always did.
int algorithmIndex(const KvrUserOptions& options, const PreferencesStore& store);

// What the export dialog keeps between uses, under the keys `kelvara-cli export` reads:
// "ExportContent", "whatToExport", "exportArtWork", "donotExportDRMFiles",
// "fileNameSelectionIndex", "MpeBitRate", "AacBitRate", "ConvertToMp3", "ConvertToAac".
struct ExportChoices {
    ItemChoice content = ItemChoice::Ticked;
    bool playlistFiles = true;  // m3u files as well as the songs
    bool artwork = false;
    bool excludeDrm = false;
    int fileNameIndex = 1;  // a NamePattern, 5 the custom one
    int mp3Index = 0;       // positions in mp3BitRates() / aacBitRates()
    int aacIndex = 0;
    bool convertToMp3 = false;
    bool convertToAac = false;

    static constexpr int fileNameCount = 6;

    // The stored file-name position, 1 when none (or none the list has) is stored.
    static int storedFileNameIndex(const PreferencesStore& store);

    // Puts the stored choices over these ones; false, and nothing changed, when the dialog has
    // never been closed ("ExportContent" missing). A missing bit rate leaves its list alone; when
    // both conversions are stored on, MP3 wins, as it does on the command line.
    bool restoreFrom(const PreferencesStore& store);
    // Stores every choice, flushing after each key; Cancel stores them as Next does.
    void storeTo(PreferencesStore& store) const;

    std::int64_t mp3BitRate() const { return bitRateAt(mp3BitRates(), mp3Index); }
    std::int64_t aacBitRate() const { return bitRateAt(aacBitRates(), aacIndex); }
};

// Settings from before the folder layouts: an artist-folder choice with no layout stored means
// the Music/Artist/Album layout. Changes only `options`, not the store.
void applyOlderLayoutSetting(const PreferencesStore& store, KvrUserOptions& options);

// The stored custom pattern; when none is stored, the default one, which is stored at once so
// that both front ends use the same one from then on.
FormatList storedCustomFormat(PreferencesStore& store);
// The stored leading-zero choice, 3 (four digits) when none is stored.
std::int64_t storedTrackNumberFormat(const PreferencesStore& store);

// The custom pattern as the dialog shows it: tokens in angle brackets ("<Track No>"), texts as
// they are, run together.
std::string customFormatLabelText(const FormatList& format);

}  // namespace kelvara
