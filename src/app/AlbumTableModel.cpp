#include "app/AlbumTableModel.h"

#include <nlohmann/json.hpp>

#include "app/SearchText.h"
#include "platform/PreferencesStore.h"

using namespace kelvara;

AlbumTableModel::AlbumTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void AlbumTableModel::setAlbums(const std::vector<std::shared_ptr<KvrAlbumInfo>>& albums) {
    beginResetModel();
    all_.clear();
    all_.reserve(albums.size());
    for (const auto& album : albums)
        all_.push_back(
            {album, SearchText::fold(album->title() + "\n" + album->artist().value_or(""))});
    shown_.clear();
    for (const Entry& entry : all_) shown_.push_back(&entry);
    endResetModel();
}

void AlbumTableModel::setSearch(const QString& search) {
    const std::string part = SearchText::fold(search);
    beginResetModel();
    shown_.clear();
    for (const Entry& entry : all_)
        if (part.empty() || entry.folded.find(part) != std::string::npos) shown_.push_back(&entry);
    endResetModel();
}

KvrAlbumInfo* AlbumTableModel::album(int row) const {
    return row >= 0 && row < rowCount() ? shown_[row]->album.get() : nullptr;
}

int AlbumTableModel::rowOf(const KvrAlbumInfo* album) const {
    for (std::size_t row = 0; row < shown_.size(); ++row)
        if (shown_[row]->album.get() == album) return static_cast<int>(row);
    return -1;
}

bool AlbumTableModel::isChecked(int row) const {
    const KvrAlbumInfo* record = album(row);
    return record && record->checked();
}

void AlbumTableModel::setCheckedRows(int from, int to, bool checked) {
    if (shown_.empty()) return;
    from = qBound(0, from, rowCount() - 1);
    to = qBound(0, to, rowCount() - 1);
    for (int row = from; row <= to; ++row) shown_[row]->album->setChecked(checked);
    Q_EMIT dataChanged(index(from, 0), index(to, 0), {Qt::CheckStateRole});
}

void AlbumTableModel::persistTicks() const {
    nlohmann::json names = nlohmann::json::array();
    for (int row = 0; row < rowCount(); ++row)
        if (isChecked(row)) names.push_back(shown_[row]->album->displayName());
    PreferencesStore& preferences = PreferencesStore::standardUserDefaults();
    preferences.setObject("SelectedAlbums", std::move(names));
    preferences.flush();
}

int AlbumTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int AlbumTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant AlbumTableModel::data(const QModelIndex& index, int role) const {
    const KvrAlbumInfo* record = album(index.row());
    if (!record) return {};
    switch (index.column()) {
        case 0:
            if (role == Qt::DisplayRole) return QString::fromStdString(record->title());
            if (role == Qt::CheckStateRole) return record->checked() ? Qt::Checked : Qt::Unchecked;
            return {};
        case 1:
            if (role == Qt::DisplayRole)
                return QString::fromStdString(record->artist().value_or(""));
            return {};
        default: {
            if (role != StarsRole && role != Qt::AccessibleTextRole) return {};
            // The library's computed album rating is 0 to 100; a song's stars are already 0 to 5.
            const int rating = record->rating().value_or(0);
            const int stars = rating > 5 ? rating / 20 : rating;
            return role == StarsRole ? QVariant(stars) : QVariant(tr("%n star(s)", nullptr, stars));
        }
    }
}

bool AlbumTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    KvrAlbumInfo* record = album(index.row());
    if (!record || role != Qt::CheckStateRole || index.column() != 0) return false;
    record->setChecked(value.toInt() == Qt::Checked);
    Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    Q_EMIT ticked();
    return true;
}

Qt::ItemFlags AlbumTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (index.column() == 0) result |= Qt::ItemIsUserCheckable;
    return result;
}

QVariant AlbumTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case 0:
            return tr("Album");
        case 1:
            return tr("Artist");
        default:
            return tr("Rating");
    }
}
