#include "app/AlbumTableModel.h"

using namespace kelvara;

AlbumTableModel::AlbumTableModel(QObject* parent) : TickTableModel("SelectedAlbums", 3, parent) {}

void AlbumTableModel::setAlbums(const std::vector<std::shared_ptr<KvrAlbumInfo>>& albums) {
    beginResetModel();
    all_ = albums;
    std::vector<std::string> texts;
    texts.reserve(albums.size());
    for (const auto& album : albums)
        texts.push_back(album->title() + "\n" + album->artist().value_or(""));
    setSearchTexts(texts);
    endResetModel();
}

KvrAlbumInfo* AlbumTableModel::album(int row) const {
    return row >= 0 && row < rowCount() ? all_[shownEntry(row)].get() : nullptr;
}

std::shared_ptr<KvrAlbumInfo> AlbumTableModel::record(int row) const {
    return row >= 0 && row < rowCount() ? all_[shownEntry(row)] : nullptr;
}

int AlbumTableModel::rowOf(const KvrAlbumInfo* album) const {
    for (int row = 0; row < rowCount(); ++row)
        if (all_[shownEntry(row)].get() == album) return row;
    return -1;
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
