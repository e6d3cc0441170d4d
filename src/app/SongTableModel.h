#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

#include "library/KvrSongInfo.h"
#include "library/MediaLibrary.h"

// The rows of a song list: one song record per row, the columns named by the identifiers the
// listings know. A playlist list has the "checked" column first; an album list has none and six
// columns of its own names.
class SongTableModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum class Kind { Playlist, Album };
    // Stars 0 to 5 for the rating column.
    static constexpr int StarsRole = Qt::UserRole + 1;

    explicit SongTableModel(Kind kind, QObject* parent = nullptr);

    static QStringList identifiers(Kind kind);
    Kind kind() const { return kind_; }
    const QStringList& columnIdentifiers() const { return identifiers_; }
    int columnOf(const QString& identifier) const { return identifiers_.indexOf(identifier); }
    QString headerText(int column) const;

    // `flags` holds the songs' ticks (the open library's); none for an album list.
    void setSongs(std::vector<kelvara::KvrSongInfo> songs, kelvara::CheckedFlags* flags);
    const std::vector<kelvara::KvrSongInfo>& songs() const { return songs_; }
    const kelvara::KvrSongInfo* song(int row) const;
    bool isChecked(int row) const;
    // Every row at once: one reset instead of a signal per row.
    void setAllChecked(bool checked);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  Q_SIGNALS:
    // The user flipped one song's tick.
    void songTicked(int row, bool checked);

  private:
    QVariant display(const kelvara::KvrSongInfo& song, const QString& identifier) const;

    Kind kind_;
    QStringList identifiers_;
    std::vector<kelvara::KvrSongInfo> songs_;
    kelvara::CheckedFlags* flags_ = nullptr;
};
