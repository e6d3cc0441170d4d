#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class AlbumPage;
class BrowserPage;
class ExportDialog;
class LogWindow;
class PlaylistPage;
class QTimer;
class QtExportUi;

namespace kelvara {
class ExportUi;
class KvExportManager;
class KvrAlbumInfo;
class MediaLibrary;
class Playlist;
class SongConverter;
}  // namespace kelvara

// One export started from a page: the export dialog with the page's counts, the choice of
// playlists or albums, the destination folder, and a new engine that runs on its own worker. The
// page keeps the flow of its latest run (with the engine and the QtExportUi it reports to) until
// the next run replaces it. One run at a time in this process: a run asked for while another is
// going waits for it, and the wait can be cancelled from its sheet.
class ExportFlow : public QObject {
    Q_OBJECT

  public:
    static constexpr const char* kWaitingLine = "Waiting for the export in progress…";
    // The sheet shown after the folder chooser when the run keeps the destination in step
    // (update or mirror), with "Preview", "Cancel" and "Export".
    static constexpr const char* kReadySheetName = "exportReadySheet";
    static constexpr const char* kPreviewWindowName = "exportPreviewWindow";

    // Opens the export dialog on `window` (the main window); the rest follows when it closes.
    static void start(PlaylistPage* page, QWidget* window);
    static void start(AlbumPage* page, QWidget* window);

    // Whether an export of this process is running, or waiting for another to end.
    static bool anyBusy();
    // Asks every run to stop after its song in flight and drops the waiting ones; `stopped` runs
    // on the GUI thread once nothing is busy any more.
    static void stopAll(std::function<void()> stopped);
    // Called with each run's front end before the run starts (tests keep the file manager and
    // the notifications out). An empty function stops calling.
    static void setUiSetupForTests(std::function<void(QtExportUi&)> setup);

    ~ExportFlow() override;

    // The run's front end and engine; null before the destination was chosen.
    QtExportUi* exportUi() const;
    kelvara::KvExportManager* manager() const { return manager_.get(); }
    bool isWaiting() const;
    bool isRunning() const;

  private:
    enum class Stage { Dialog, ChoosingFolder, Waiting, Started, Over };

    ExportFlow(BrowserPage* page, QWidget* window, bool albums);
    void openDialog();
    void dialogEnded();
    void folderChosen(const QString& folder);
    // What follows the folder: the run, or its turn after the runs before it.
    void proceed();
    void openReadySheet();
    void showPreview();
    // Asks, from the run's worker, before more than a handful of files are removed.
    bool confirmRemoval(std::size_t count, const std::vector<std::string>& first);
    void startRun();
    void cancelWait();
    // Another run is going, or asked to run before this one.
    bool anyOtherBusy() const;
    void failed(const char* what);
    void alert(const QString& text);
    void end();
    LogWindow* logWindow() const;

    QPointer<BrowserPage> page_;
    QPointer<QWidget> window_;
    bool albums_;
    Stage stage_ = Stage::Dialog;
    QPointer<ExportDialog> dialog_;
    std::vector<const kelvara::Playlist*> playlists_;
    std::vector<std::shared_ptr<kelvara::KvrAlbumInfo>> albumRecords_;
    std::shared_ptr<const kelvara::MediaLibrary> library_;
    QString destination_;
    QTimer* waitTimer_ = nullptr;

    // Destroyed in reverse: the engine (its worker joined) before the converter and the front end
    // it reports to.
    std::unique_ptr<QtExportUi> ui_;
    std::unique_ptr<kelvara::SongConverter> converter_;
    std::unique_ptr<kelvara::KvExportManager> manager_;
    // The dry run behind "Preview", with the run's options; it writes nothing.
    std::unique_ptr<kelvara::ExportUi> previewUi_;
    std::unique_ptr<kelvara::KvExportManager> preview_;
    // Answers "keep" to a removal question still open, so that the worker waiting for it can end.
    std::mutex questionMutex_;
    std::function<void()> dropQuestion_;
};
