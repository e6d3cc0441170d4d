#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "library/KvrAlbumInfo.h"
#include "library/MediaItem.h"
#include "listing/ListingSortKey.h"

class AlbumPage;
class BrowserPage;
class ListingDialog;
class LoadingSheet;
class PlaylistPage;
class QWidget;

// A song listing from a page: the listing dialog, the songs of the chosen playlists or albums
// (album songs gathered on a worker behind the loading sheet), the save chooser, then the CSV or
// spreadsheet writer. One flow lives for one listing, as a child of its page.
class ListingFlow : public QObject {
    Q_OBJECT

  public:
    enum class FileType { Xls, Xlsx, Csv };

    static void start(PlaylistPage* page, QWidget* window);
    static void start(AlbumPage* page, QWidget* window);

    // Whether a saved workbook is opened with the desktop's spreadsheet program afterwards (on
    // unless a test turns it off). CSV files are never opened.
    static void setOpensWorkbooks(bool open);
    // Runs on the worker before each album is gathered, with the number done so far; a test
    // holds the gathering with it. Empty: none.
    static void setGatherHookForTests(std::function<void(std::size_t done)> hook);

    ~ListingFlow() override;

  private:
    ListingFlow(BrowserPage* page, PlaylistPage* playlists, AlbumPage* albums, QWidget* window);

    void openDialog();
    void dialogEnded(ListingDialog* dialog);
    void gatherAlbums(std::vector<std::shared_ptr<kelvara::KvrAlbumInfo>> albums);
    void gathered(std::optional<std::vector<const kelvara::MediaItem*>> songs);
    void chooseFile(std::vector<const kelvara::MediaItem*> songs);
    void finish();

    BrowserPage* page_;
    PlaylistPage* playlists_;
    AlbumPage* albums_;
    QPointer<QWidget> window_;
    FileType type_ = FileType::Xlsx;
    std::vector<std::string> columns_;
    std::vector<kelvara::ListingSortKey> sortKeys_;
    QPointer<LoadingSheet> sheet_;
    std::shared_ptr<std::atomic<bool>> cancelled_ = std::make_shared<std::atomic<bool>>(false);
    std::thread worker_;
};
