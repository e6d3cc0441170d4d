#pragma once

#include <string>
#include <vector>

#include "app/TickTableModel.h"
#include "library/MediaLibrary.h"

// The playlist table: the playlists the browser shows, narrowed by the search text, each with a
// check box. A playlist inside a folder is indented under it.
class PlaylistTableModel : public TickTableModel {
    Q_OBJECT

  public:
    explicit PlaylistTableModel(QObject* parent = nullptr);

    void setPlaylists(const std::vector<const kelvara::Playlist*>& playlists,
                      kelvara::CheckedFlags* flags);

    const kelvara::Playlist* playlist(int row) const;
    int rowOf(const kelvara::Playlist* playlist) const;
    // Every playlist the browser offers, shown or hidden by the search.
    int allCount() const { return static_cast<int>(all_.size()); }

    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    // The ticks live in the library's flags; without a library nothing can be ticked.
    bool canTick() const override { return flags_ != nullptr; }
    bool rowChecked(int row) const override { return flags_->isChecked(playlist(row)); }
    void setRowChecked(int row, bool checked) override {
        flags_->setChecked(playlist(row), checked);
    }
    // "SelectedPlaylists" holds the names of the ticked rows.
    std::string tickName(int row) const override { return playlist(row)->name(); }

    struct Entry {
        const kelvara::Playlist* playlist;
        int depth;
    };
    std::vector<Entry> all_;
    kelvara::CheckedFlags* flags_ = nullptr;
};
