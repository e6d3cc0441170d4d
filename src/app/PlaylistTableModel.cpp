#include "app/PlaylistTableModel.h"

#include <QApplication>
#include <QStyle>
#include <unordered_map>

using namespace kelvara;

PlaylistTableModel::PlaylistTableModel(QObject* parent)
    : TickTableModel("SelectedPlaylists", 2, parent) {}

void PlaylistTableModel::setPlaylists(const std::vector<const Playlist*>& playlists,
                                      CheckedFlags* flags) {
    beginResetModel();
    flags_ = flags;
    all_.clear();
    all_.reserve(playlists.size());
    std::vector<std::string> names;
    names.reserve(playlists.size());
    std::unordered_map<PersistentID, int> depths;
    for (const Playlist* playlist : playlists) {
        const auto parent = depths.find(playlist->parentPersistentID());
        const int depth =
            playlist->parentPersistentID() && parent != depths.end() ? parent->second + 1 : 0;
        depths[playlist->persistentID()] = depth;
        all_.push_back({playlist, depth});
        names.push_back(playlist->name());
    }
    setSearchTexts(names);
    endResetModel();
}

const Playlist* PlaylistTableModel::playlist(int row) const {
    return row >= 0 && row < rowCount() ? all_[shownEntry(row)].playlist : nullptr;
}

int PlaylistTableModel::rowOf(const Playlist* playlist) const {
    for (int row = 0; row < rowCount(); ++row)
        if (all_[shownEntry(row)].playlist == playlist) return row;
    return -1;
}

QVariant PlaylistTableModel::data(const QModelIndex& index, int role) const {
    const Playlist* shown = playlist(index.row());
    if (!shown) return {};
    if (index.column() == 1) {
        if (role == Qt::DisplayRole) return static_cast<qlonglong>(shown->items().size());
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return QString(all_[shownEntry(index.row())].depth * 4, QLatin1Char(' ')) +
                   QString::fromStdString(shown->name());
        case Qt::AccessibleTextRole:
            return QString::fromStdString(shown->name());
        case Qt::CheckStateRole:
            return isChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
        case Qt::DecorationRole:
            if (shown->isFolder()) return QApplication::style()->standardIcon(QStyle::SP_DirIcon);
            return {};
        default:
            return {};
    }
}

QVariant PlaylistTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == 0 ? tr("Playlist") : tr("Songs");
}
