#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/TickTableModel.h"
#include "library/KvrAlbumInfo.h"

// The album table: the catalogue's records, narrowed by the search text (title or artist), each
// with a check box, the rating drawn as stars.
class AlbumTableModel : public TickTableModel {
    Q_OBJECT

  public:
    static constexpr int StarsRole = Qt::UserRole + 1;

    explicit AlbumTableModel(QObject* parent = nullptr);

    void setAlbums(const std::vector<std::shared_ptr<kelvara::KvrAlbumInfo>>& albums);

    kelvara::KvrAlbumInfo* album(int row) const;
    // The record shown at `row`, for the jobs that keep it; null outside the shown rows.
    std::shared_ptr<kelvara::KvrAlbumInfo> record(int row) const;
    int rowOf(const kelvara::KvrAlbumInfo* album) const;

    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    bool rowChecked(int row) const override { return album(row)->checked(); }
    void setRowChecked(int row, bool checked) override { album(row)->setChecked(checked); }
    // "SelectedAlbums" holds "TITLE - ARTIST" of the ticked rows.
    std::string tickName(int row) const override { return album(row)->displayName(); }

    std::vector<std::shared_ptr<kelvara::KvrAlbumInfo>> all_;
};
