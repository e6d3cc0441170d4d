#include "app/SongTableModel.h"

#include <QBrush>
#include <QDateTime>
#include <QLocale>

#include "library/SongStatus.h"

using namespace kelvara;

namespace {

QString text(const OptionalText& value) {
    return value ? QString::fromStdString(*value) : QString();
}

template <typename Number>
QVariant number(const std::optional<Number>& value) {
    return value ? QVariant::fromValue(static_cast<qlonglong>(*value)) : QVariant();
}

QVariant date(const std::optional<Date>& value) {
    if (!value) return {};
    const QDateTime when =
        QDateTime::fromSecsSinceEpoch(value->time_since_epoch().count(), Qt::UTC).toLocalTime();
    return QLocale().toString(when, QLocale::ShortFormat);
}

// The album list names six of its columns differently; the listings read both names.
QString canonical(const QString& identifier) {
    if (identifier == QLatin1String("albumTitle")) return QStringLiteral("title");
    if (identifier == QLatin1String("albumArtist")) return QStringLiteral("artist");
    if (identifier == QLatin1String("albumTime")) return QStringLiteral("time");
    if (identifier == QLatin1String("albumAlbum")) return QStringLiteral("album");
    if (identifier == QLatin1String("albumGenre")) return QStringLiteral("genre");
    if (identifier == QLatin1String("albumAlbumArtist")) return QStringLiteral("albumArtist");
    return identifier;
}

}  // namespace

SongTableModel::SongTableModel(Kind kind, QObject* parent)
    : QAbstractTableModel(parent), kind_(kind), identifiers_(identifiers(kind)) {}

QStringList SongTableModel::identifiers(Kind kind) {
    if (kind == Kind::Playlist)
        return {"checked",
                "title",
                "artist",
                "time",
                "album",
                "genre",
                "year",
                "kind",
                "bitrate",
                "path",
                "track",
                "disk",
                "playCount",
                "bpm",
                "albumArtist",
                "sortArtist",
                "sortAlbum",
                "sortTitle",
                "sortAlbumArtist",
                "composer",
                "sortComposer",
                "releaseDate",
                "addedDate",
                "modifiedDate",
                "lastPlayedDate",
                "comments",
                "description",
                "rating"};
    return {"albumTitle",   "albumArtist",
            "albumTime",    "albumAlbum",
            "albumGenre",   "year",
            "kind",         "bitrate",
            "path",         "track",
            "disk",         "playCount",
            "bpm",          "albumAlbumArtist",
            "sortArtist",   "sortAlbum",
            "sortTitle",    "sortAlbumArtist",
            "composer",     "sortComposer",
            "releaseDate",  "addedDate",
            "modifiedDate", "lastPlayedDate",
            "comments",     "description",
            "rating"};
}

QString SongTableModel::headerText(int column) const {
    static const QHash<QString, QString> texts = {
        {"checked", ""},
        {"title", tr("Title")},
        {"artist", tr("Artist")},
        {"time", tr("Time")},
        {"album", tr("Album")},
        {"genre", tr("Genre")},
        {"year", tr("Year")},
        {"kind", tr("Kind")},
        {"bitrate", tr("Bit Rate")},
        {"path", tr("Path")},
        {"track", tr("Track")},
        {"disk", tr("Disc")},
        {"playCount", tr("Plays")},
        {"bpm", tr("BPM")},
        {"albumArtist", tr("Album Artist")},
        {"sortArtist", tr("Sort Artist")},
        {"sortAlbum", tr("Sort Album")},
        {"sortTitle", tr("Sort Title")},
        {"sortAlbumArtist", tr("Sort Album Artist")},
        {"composer", tr("Composer")},
        {"sortComposer", tr("Sort Composer")},
        {"releaseDate", tr("Release Date")},
        {"addedDate", tr("Date Added")},
        {"modifiedDate", tr("Date Modified")},
        {"lastPlayedDate", tr("Last Played")},
        {"comments", tr("Comments")},
        {"description", tr("Description")},
        {"rating", tr("Rating")},
    };
    if (column < 0 || column >= identifiers_.size()) return {};
    return texts.value(canonical(identifiers_[column]));
}

void SongTableModel::setSongs(std::vector<KvrSongInfo> songs, CheckedFlags* flags) {
    beginResetModel();
    songs_ = std::move(songs);
    flags_ = flags;
    endResetModel();
}

const KvrSongInfo* SongTableModel::song(int row) const {
    return row >= 0 && row < static_cast<int>(songs_.size()) ? &songs_[row] : nullptr;
}

bool SongTableModel::isChecked(int row) const {
    const KvrSongInfo* record = song(row);
    return record && flags_ && flags_->isChecked(record->mediaItem());
}

void SongTableModel::setAllChecked(bool checked) {
    if (!flags_) return;
    for (const KvrSongInfo& record : songs_) flags_->setChecked(record.mediaItem(), checked);
    if (!songs_.empty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

int SongTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(songs_.size());
}

int SongTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(identifiers_.size());
}

QVariant SongTableModel::display(const KvrSongInfo& song, const QString& identifier) const {
    const QString id = canonical(identifier);
    const MediaItem* item = song.mediaItem();
    if (id == QLatin1String("title")) return text(song.title());
    if (id == QLatin1String("artist")) return text(song.artist());
    if (id == QLatin1String("time")) return text(song.timeWithFormat());
    if (id == QLatin1String("album")) return text(song.album());
    if (id == QLatin1String("genre")) return text(song.genre());
    if (id == QLatin1String("year")) return number(song.year());
    if (id == QLatin1String("kind")) return item ? text(item->kind()) : QVariant();
    if (id == QLatin1String("bitrate"))
        return item && item->bitrate() ? QVariant(tr("%1 kbps").arg(item->bitrate())) : QVariant();
    if (id == QLatin1String("path")) {
        if (!item) return {};
        const std::filesystem::path path = item->mappedPath();
        return QString::fromStdString(path.string());
    }
    if (id == QLatin1String("track")) return number(song.trackNumber());
    if (id == QLatin1String("disk")) return number(song.diskNumber());
    if (id == QLatin1String("playCount")) return number(song.playCount());
    if (id == QLatin1String("bpm")) return number(song.beatsPerMinute());
    if (id == QLatin1String("albumArtist")) return text(song.albumArtist());
    if (id == QLatin1String("sortArtist")) return text(song.sortArtist());
    if (id == QLatin1String("sortAlbum")) return text(song.sortAlbum());
    if (id == QLatin1String("sortTitle")) return text(song.sortTitle());
    if (id == QLatin1String("sortAlbumArtist")) return text(song.sortAlbumArtist());
    if (id == QLatin1String("composer")) return text(song.composer());
    if (id == QLatin1String("sortComposer")) return text(song.sortComposer());
    if (id == QLatin1String("releaseDate")) return date(song.releaseDate());
    if (id == QLatin1String("addedDate")) return date(song.addedDate());
    if (id == QLatin1String("modifiedDate")) return date(song.modifiedDate());
    if (id == QLatin1String("lastPlayedDate")) return date(song.lastPlayedDate());
    if (id == QLatin1String("comments")) return text(song.comments());
    if (id == QLatin1String("description")) return text(song.songDescription());
    return {};
}

QVariant SongTableModel::data(const QModelIndex& index, int role) const {
    const KvrSongInfo* record = song(index.row());
    if (!record || index.column() >= identifiers_.size()) return {};
    const QString& identifier = identifiers_[index.column()];
    const bool checkColumn = identifier == QLatin1String("checked");
    switch (role) {
        case Qt::DisplayRole:
            if (checkColumn || identifier == QLatin1String("rating")) return {};
            return display(*record, identifier);
        case Qt::CheckStateRole:
            if (!checkColumn) return {};
            return isChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
        case StarsRole:
            return record->rating() ? *record->rating() / 20 : 0;
        case Qt::ForegroundRole:
            if (checkColumn || !record->mediaItem()) return {};
            if (displayStatus(*record->mediaItem()) != DisplayStatus::Exportable)
                return QBrush(Qt::red);
            return {};
        case Qt::ToolTipRole: {
            if (!record->mediaItem()) return {};
            const DisplayStatus status = displayStatus(*record->mediaItem());
            if (status != DisplayStatus::Exportable)
                return QString::fromUtf8(
                    displayStatusReason(status).data(),
                    static_cast<qsizetype>(displayStatusReason(status).size()));
            return QStringLiteral("%1 - %2").arg(text(record->artist()), text(record->title()));
        }
        case Qt::AccessibleTextRole:
            if (checkColumn) return isChecked(index.row()) ? tr("Ticked") : tr("Not ticked");
            return display(*record, identifier);
        default:
            return {};
    }
}

bool SongTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const KvrSongInfo* record = song(index.row());
    if (!record || !flags_ || role != Qt::CheckStateRole ||
        identifiers_.value(index.column()) != "checked")
        return false;
    const bool checked = value.toInt() == Qt::Checked;
    flags_->setChecked(record->mediaItem(), checked);
    Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    Q_EMIT songTicked(index.row(), checked);
    return true;
}

Qt::ItemFlags SongTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (identifiers_.value(index.column()) == QLatin1String("checked"))
        result |= Qt::ItemIsUserCheckable;
    return result;
}

QVariant SongTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return headerText(section);
    if (role == Qt::AccessibleTextRole && identifiers_.value(section) == QLatin1String("checked"))
        return tr("Tick");
    return {};
}
