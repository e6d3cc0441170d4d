#pragma once

#include <QAbstractTableModel>
#include <string>
#include <vector>

#include "library/MediaLibrary.h"

// The playlist table: the playlists the browser shows, narrowed by the search text, each with a
// check box. A playlist inside a folder is indented under it.
class PlaylistTableModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit PlaylistTableModel(QObject* parent = nullptr);

    void setPlaylists(const std::vector<const kelvara::Playlist*>& playlists,
                      kelvara::CheckedFlags* flags);
    // Keeps the rows whose name contains `search` ignoring case and accents; empty keeps all.
    void setSearch(const QString& search);

    const kelvara::Playlist* playlist(int row) const;
    int rowOf(const kelvara::Playlist* playlist) const;
    // Every playlist the browser offers, shown or hidden by the search.
    int allCount() const { return static_cast<int>(all_.size()); }

    bool isChecked(int row) const;
    void setCheckedRows(int from, int to, bool checked);
    // "SelectedPlaylists": the names of the ticked rows, in row order.
    void persistTicks() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  Q_SIGNALS:
    // A check box was clicked.
    void ticked();

  private:
    struct Entry {
        const kelvara::Playlist* playlist;
        int depth;
        std::string folded;
    };
    std::vector<Entry> all_;
    std::vector<const Entry*> shown_;
    kelvara::CheckedFlags* flags_ = nullptr;
};
