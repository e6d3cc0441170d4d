#pragma once

#include <QPointer>
#include <QWidget>

namespace kelvara {
class MediaItem;
}
class QAudioOutput;
class QLabel;
class QMediaPlayer;
class QPushButton;
class QSlider;

// A small window beside the main window that shows one song: its artwork (embedded in the file or
// beside it), title, artist, album and duration, and plays it. The song list tells it which song
// to show as the selection moves; Space or Escape close it.
class PreviewPanel : public QWidget {
    Q_OBJECT

  public:
    explicit PreviewPanel(QWidget* parent = nullptr);
    ~PreviewPanel() override;

    // Shows `song` (playing it while the panel is open); null clears the panel and hides it.
    // The song must outlive its showing (the library holds it).
    void showSong(const kelvara::MediaItem* song);
    const kelvara::MediaItem* song() const { return song_; }

    // Opens the panel beside `anchor`'s window, or closes it when it is open.
    void togglePanelFor(QWidget* anchor);

    // What the panel shows, for the accessibility tree and the tests.
    QString titleText() const;
    QString detailsText() const;
    bool hasArtwork() const { return hasArtwork_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void ensurePlayer();
    void loadArtwork();
    void playCurrent();
    void togglePlayback();
    void updatePosition(qint64 position);
    void placeBeside(QWidget* window);

    const kelvara::MediaItem* song_ = nullptr;
    bool hasArtwork_ = false;
    QLabel* artwork_;
    QLabel* title_;
    QLabel* artist_;
    QLabel* album_;
    QLabel* duration_;
    QPushButton* playButton_;
    QSlider* position_;
    QLabel* elapsed_;
    QMediaPlayer* player_ = nullptr;
    QAudioOutput* audio_ = nullptr;
};
