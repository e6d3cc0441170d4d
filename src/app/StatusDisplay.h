#pragma once

#include <QString>
#include <QWidget>

// The panel in the middle of the toolbar: what the song list on screen holds. Three lines on a
// rounded, softly shaded panel, always 350 px wide.
class StatusDisplay : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kWidth = 350;

    explicit StatusDisplay(QWidget* parent = nullptr);

    void setPlaylistTitle(const QString& title);
    void setTypeString(const QString& type);
    void setSongsNum(qint64 songs);
    void setTotalTime(qint64 seconds);
    void refresh() { update(); }

    // The three lines as drawn.
    QString titleLine() const { return playlistTitle_; }
    QString songsLine() const;
    QString timeLine() const;
    static QString totalTimeText(qint64 seconds);

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void announce();

    QString playlistTitle_;
    QString typeString_;
    qint64 songs_ = 0;
    qint64 totalTime_ = 0;
};
