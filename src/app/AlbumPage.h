#pragma once

#include <QPointer>
#include <memory>
#include <thread>

#include "app/BrowserPage.h"
#include "library/AlbumCatalogue.h"

class AlbumTableModel;
class LoadingSheet;

// The album page: album records built from the open library's songs, on a worker thread behind
// the loading sheet, with their ticks and the remembered selection, and the songs of the
// selected record.
class AlbumPage : public BrowserPage {
    Q_OBJECT

  public:
    explicit AlbumPage(StatusDisplay* status, QWidget* parent = nullptr);
    ~AlbumPage() override;

    // Rebuilds the catalogue from the library the session holds; does not re-read the file.
    void reloadItunesData() override;
    void exportFolder() override;
    void exportToExcel() override;
    // Whether the catalogue was built from the library the session holds now.
    bool isCurrent() const;

    AlbumTableModel* listModel() const { return model_; }
    kelvara::AlbumCatalogue* catalogue() const { return catalogue_.get(); }
    // The library the records were built from.
    const std::shared_ptr<const kelvara::MediaLibrary>& library() const { return library_; }
    // The shown records the choice takes, in list order; none for Current without a selection.
    std::vector<std::shared_ptr<kelvara::KvrAlbumInfo>> chosenAlbums(
        kelvara::ItemChoice choice) const;

  protected:
    void showRow(int row) override;
    const void* itemAt(int row) const override;
    int rowOfItem(const void* item) const override;

  private:
    void showCatalogue(std::shared_ptr<const kelvara::MediaLibrary> library,
                       std::shared_ptr<kelvara::AlbumCatalogue> catalogue);

    AlbumTableModel* model_;
    std::shared_ptr<const kelvara::MediaLibrary> library_;
    std::shared_ptr<kelvara::AlbumCatalogue> catalogue_;
    std::thread worker_;
    QPointer<LoadingSheet> sheet_;
    int generation_ = 0;
};
