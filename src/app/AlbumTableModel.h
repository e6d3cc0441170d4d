#pragma once

#include <QAbstractTableModel>
#include <memory>
#include <string>
#include <vector>

#include "library/KvrAlbumInfo.h"

// The album table: the catalogue's records, narrowed by the search text (title or artist), each
// with a check box, the rating drawn as stars.
class AlbumTableModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    static constexpr int StarsRole = Qt::UserRole + 1;

    explicit AlbumTableModel(QObject* parent = nullptr);

    void setAlbums(const std::vector<std::shared_ptr<kelvara::KvrAlbumInfo>>& albums);
    void setSearch(const QString& search);

    kelvara::KvrAlbumInfo* album(int row) const;
    int rowOf(const kelvara::KvrAlbumInfo* album) const;

    bool isChecked(int row) const;
    void setCheckedRows(int from, int to, bool checked);
    // "SelectedAlbums": "TITLE - ARTIST" of the ticked rows, in row order.
    void persistTicks() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  Q_SIGNALS:
    void ticked();

  private:
    struct Entry {
        std::shared_ptr<kelvara::KvrAlbumInfo> album;
        std::string folded;
    };
    std::vector<Entry> all_;
    std::vector<const Entry*> shown_;
};
