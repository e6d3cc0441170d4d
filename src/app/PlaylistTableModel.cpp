#include "app/PlaylistTableModel.h"

#include <QApplication>
#include <QStyle>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "app/SearchText.h"
#include "platform/PreferencesStore.h"

using namespace kelvara;

PlaylistTableModel::PlaylistTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void PlaylistTableModel::setPlaylists(const std::vector<const Playlist*>& playlists,
                                      CheckedFlags* flags) {
    beginResetModel();
    flags_ = flags;
    all_.clear();
    all_.reserve(playlists.size());
    std::unordered_map<PersistentID, int> depths;
    for (const Playlist* playlist : playlists) {
        const auto parent = depths.find(playlist->parentPersistentID());
        const int depth =
            playlist->parentPersistentID() && parent != depths.end() ? parent->second + 1 : 0;
        depths[playlist->persistentID()] = depth;
        all_.push_back({playlist, depth, SearchText::fold(playlist->name())});
    }
    shown_.clear();
    for (const Entry& entry : all_) shown_.push_back(&entry);
    endResetModel();
}

void PlaylistTableModel::setSearch(const QString& search) {
    const std::string part = SearchText::fold(search);
    beginResetModel();
    shown_.clear();
    for (const Entry& entry : all_)
        if (part.empty() || entry.folded.find(part) != std::string::npos) shown_.push_back(&entry);
    endResetModel();
}

const Playlist* PlaylistTableModel::playlist(int row) const {
    return row >= 0 && row < rowCount() ? shown_[row]->playlist : nullptr;
}

int PlaylistTableModel::rowOf(const Playlist* playlist) const {
    for (std::size_t row = 0; row < shown_.size(); ++row)
        if (shown_[row]->playlist == playlist) return static_cast<int>(row);
    return -1;
}

bool PlaylistTableModel::isChecked(int row) const {
    const Playlist* shown = playlist(row);
    return shown && flags_ && flags_->isChecked(shown);
}

void PlaylistTableModel::setCheckedRows(int from, int to, bool checked) {
    if (!flags_ || shown_.empty()) return;
    from = qBound(0, from, rowCount() - 1);
    to = qBound(0, to, rowCount() - 1);
    for (int row = from; row <= to; ++row) flags_->setChecked(shown_[row]->playlist, checked);
    Q_EMIT dataChanged(index(from, 0), index(to, 0), {Qt::CheckStateRole});
}

void PlaylistTableModel::persistTicks() const {
    nlohmann::json names = nlohmann::json::array();
    for (int row = 0; row < rowCount(); ++row)
        if (isChecked(row)) names.push_back(shown_[row]->playlist->name());
    PreferencesStore& preferences = PreferencesStore::standardUserDefaults();
    preferences.setObject("SelectedPlaylists", std::move(names));
    preferences.flush();
}

int PlaylistTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int PlaylistTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
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
            return QString(shown_[index.row()]->depth * 4, QLatin1Char(' ')) +
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

bool PlaylistTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const Playlist* shown = playlist(index.row());
    if (!shown || !flags_ || role != Qt::CheckStateRole || index.column() != 0) return false;
    flags_->setChecked(shown, value.toInt() == Qt::Checked);
    Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    Q_EMIT ticked();
    return true;
}

Qt::ItemFlags PlaylistTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (index.column() == 0) result |= Qt::ItemIsUserCheckable;
    return result;
}

QVariant PlaylistTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == 0 ? tr("Playlist") : tr("Songs");
}
