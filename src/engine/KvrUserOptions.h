#pragma once

#include <cstdint>
#include <memory>

#include "engine/ExportOptionValues.h"
#include "platform/PreferencesStore.h"

namespace kelvara {

// The persistent export options: how the exported tree looks and what to do with existing files,
// hidden files and songs already in the target format. Loaded once from the preferences store;
// the advanced options (dialog or `kelvara-cli options set`) change them and write the store.
class KvrUserOptions {
  public:
    // The most songs a run keeps in flight, whatever the setting asks for.
    static constexpr int kMaxParallelSongs = 64;

    // The process-wide options, loaded from the standard store by the first call (exactly once,
    // also under concurrent first calls).
    static KvrUserOptions& shareOptions();
    // Drops the shared options, so the next shareOptions() loads them again from the standard store
    // (after --config-dir, and in tests). References to the old object must not be kept.
    static void resetSharedOptions();

    // Reads every key; a key the store does not hold takes its default.
    static KvrUserOptions loadFrom(const PreferencesStore& store);
    // Writes every key as the advanced dialog stores them: booleans as 0 or 1, integers as numbers.
    void saveTo(PreferencesStore& store) const;

    FolderLayout filesSaveToFolder() const { return filesSaveToFolder_; }
    void setFilesSaveToFolder(FolderLayout v) { filesSaveToFolder_ = v; }
    bool saveM3uWithFiles() const { return saveM3uWithFiles_; }
    void setSaveM3uWithFiles(bool v) { saveM3uWithFiles_ = v; }
    bool windowsPaths() const { return windowsPaths_; }
    void setWindowsPaths(bool v) { windowsPaths_ = v; }
    bool dontConvertSameType() const { return dontConvertSameType_; }
    void setDontConvertSameType(bool v) { dontConvertSameType_ = v; }
    // What to do with a file already at a song's destination ("SkipIfExists" 0, 1 or 2).
    enum class ExistingFiles { Replace = 0, Skip = 1, UpdateWhenChanged = 2 };
    ExistingFiles existingFiles() const { return existingFiles_; }
    void setExistingFiles(ExistingFiles v) { existingFiles_ = v; }
    // True only for Skip: "update when changed" decides per file.
    bool skipIfExists() const { return existingFiles_ == ExistingFiles::Skip; }
    void setSkipIfExists(bool v) {
        existingFiles_ = v ? ExistingFiles::Skip : ExistingFiles::Replace;
    }
    LineEnding lineEnding() const { return lineEnding_; }
    void setLineEnding(LineEnding v) { lineEnding_ = v; }
    Mp3Algorithm algorithm() const { return algorithm_; }
    void setAlgorithm(Mp3Algorithm v) { algorithm_ = v; }
    TrackOrder tracksOrder() const { return tracksOrder_; }
    void setTracksOrder(TrackOrder v) { tracksOrder_ = v; }
    bool orderAscending() const { return orderAscending_; }
    void setOrderAscending(bool v) { orderAscending_ = v; }
    PlaylistEncoding playlistEncoding() const { return playlistEncoding_; }
    void setPlaylistEncoding(PlaylistEncoding v) { playlistEncoding_ = v; }
    bool deleteHiddenFiles() const { return deleteHiddenFiles_; }
    void setDeleteHiddenFiles(bool v) { deleteHiddenFiles_ = v; }
    bool dontConvertLossyFormats() const { return dontConvertLossyFormats_; }
    void setDontConvertLossyFormats(bool v) { dontConvertLossyFormats_ = v; }
    // After a run, remove the files an earlier run wrote that this one no longer produces.
    bool mirrorDestination() const { return mirrorDestination_; }
    void setMirrorDestination(bool v) { mirrorDestination_ = v; }
    // How many songs are converted at once; 0 means one per core of the machine.
    int parallelSongs() const { return parallelSongs_; }
    void setParallelSongs(int v) {
        parallelSongs_ = v < 0 ? 0 : v > kMaxParallelSongs ? kMaxParallelSongs : v;
    }

    // The LAME quality the "Algorithm" setting selects: best 2, standard 5, fastest 7.
    int lameQuality() const;

  private:
    FolderLayout filesSaveToFolder_ = FolderLayout::PlaylistFolder;
    bool saveM3uWithFiles_ = true;
    bool windowsPaths_ = false;
    bool dontConvertSameType_ = true;
    ExistingFiles existingFiles_ = ExistingFiles::Skip;
    LineEnding lineEnding_ = LineEnding::Lf;
    Mp3Algorithm algorithm_ = Mp3Algorithm::Standard;
    TrackOrder tracksOrder_ = TrackOrder::PlaylistOrder;
    bool orderAscending_ = true;
    PlaylistEncoding playlistEncoding_ = PlaylistEncoding::Utf8;
    bool deleteHiddenFiles_ = true;
    bool dontConvertLossyFormats_ = false;
    int parallelSongs_ = 0;
    bool mirrorDestination_ = false;
};

}  // namespace kelvara
