#include "app/PreviewPanel.h"

#include <QAudioOutput>
#include <QFile>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMediaPlayer>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include "conversion/ArtworkReader.h"
#include "conversion/ImageCodec.h"
#include "library/KvrSongInfo.h"
#include "library/MediaItem.h"

namespace {

constexpr int kArtworkSize = 240;

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString textOr(const kelvara::OptionalText& text, const QString& fallback) {
    return text && !text->empty() ? fromUtf8(*text) : fallback;
}

// Qt reads what its image plug-ins know; the codec of the conversion side is the fallback for
// the JPEG and PNG variants it accepts and Qt does not.
QImage imageFromBytes(const std::string& bytes) {
    QImage image = QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()),
                                    static_cast<int>(bytes.size()));
    if (!image.isNull()) return image;
    const auto decoded = kelvara::ImageCodec::decode(bytes);
    if (!decoded || !decoded->isValid()) return {};
    const QImage::Format format =
        decoded->channels == 4 ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
    return QImage(decoded->pixels.data(), decoded->width, decoded->height,
                  decoded->width * decoded->channels, format)
        .copy();
}

// A neutral square with a note, for songs without artwork.
QPixmap placeholderArtwork(const QPalette& palette) {
    QPixmap pixmap(kArtworkSize, kArtworkSize);
    pixmap.fill(palette.color(QPalette::Midlight));
    QPainter painter(&pixmap);
    QFont font = painter.font();
    font.setPixelSize(kArtworkSize / 2);
    painter.setFont(font);
    painter.setPen(palette.color(QPalette::Mid));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QString(QChar(0x266A)));
    return pixmap;
}

QString clock(qint64 milliseconds) {
    return fromUtf8(kelvara::KvrSongInfo::formatDuration(
        static_cast<std::uint64_t>(std::max<qint64>(0, milliseconds) / 1000)));
}

}  // namespace

PreviewPanel::PreviewPanel(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setObjectName("previewPanel");
    setWindowTitle(tr("Preview"));
    setAccessibleName(tr("Song preview"));
    // The song list keeps the keyboard, so the selection can move while the panel is open.
    setAttribute(Qt::WA_ShowWithoutActivating);

    artwork_ = new QLabel(this);
    artwork_->setObjectName("previewArtwork");
    artwork_->setAccessibleName(tr("Artwork"));
    artwork_->setFixedSize(kArtworkSize, kArtworkSize);
    artwork_->setAlignment(Qt::AlignCenter);

    auto makeLabel = [this](const char* name, const QString& accessible) {
        auto* label = new QLabel(this);
        label->setObjectName(name);
        label->setAccessibleName(accessible);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setMaximumWidth(kArtworkSize);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    };
    title_ = makeLabel("previewTitle", tr("Title"));
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    artist_ = makeLabel("previewArtist", tr("Artist"));
    album_ = makeLabel("previewAlbum", tr("Album"));
    duration_ = makeLabel("previewDuration", tr("Duration"));

    playButton_ = new QPushButton(this);
    playButton_->setObjectName("previewPlayButton");
    playButton_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    playButton_->setAccessibleName(tr("Play"));
    playButton_->setFocusPolicy(Qt::NoFocus);
    connect(playButton_, &QPushButton::clicked, this, &PreviewPanel::togglePlayback);
    position_ = new QSlider(Qt::Horizontal, this);
    position_->setAccessibleName(tr("Playback position"));
    position_->setFocusPolicy(Qt::NoFocus);
    connect(position_, &QSlider::sliderMoved, this, [this](int value) {
        if (player_) player_->setPosition(value);
    });
    elapsed_ = new QLabel(this);
    elapsed_->setAccessibleName(tr("Elapsed time"));

    auto* controls = new QHBoxLayout;
    controls->addWidget(playButton_);
    controls->addWidget(position_, 1);
    controls->addWidget(elapsed_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(artwork_, 0, Qt::AlignHCenter);
    layout->addWidget(title_);
    layout->addWidget(artist_);
    layout->addWidget(album_);
    layout->addWidget(duration_);
    layout->addLayout(controls);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

PreviewPanel::~PreviewPanel() = default;

QString PreviewPanel::titleText() const { return title_->text(); }

QString PreviewPanel::detailsText() const {
    return artist_->text() + "\n" + album_->text() + "\n" + duration_->text();
}

void PreviewPanel::showSong(const kelvara::MediaItem* song) {
    if (player_) player_->stop();
    song_ = song;
    if (!song) {
        title_->clear();
        artist_->clear();
        album_->clear();
        duration_->clear();
        artwork_->clear();
        hasArtwork_ = false;
        hide();
        return;
    }
    title_->setText(textOr(song->title(), tr("Untitled")));
    artist_->setText(song->artist() ? textOr(song->artist()->name(), QString()) : QString());
    album_->setText(song->album() ? textOr(song->album()->title(), QString()) : QString());
    duration_->setText(song->totalTime() > 0 ? clock(static_cast<qint64>(song->totalTime()))
                                             : QString());
    loadArtwork();
    const bool playable = song->location().has_value();
    playButton_->setEnabled(playable);
    position_->setEnabled(playable);
    position_->setValue(0);
    elapsed_->setText(playable ? clock(0) : tr("No file"));
    setAccessibleDescription(title_->text() + ", " + artist_->text());
    if (isVisible()) playCurrent();
}

void PreviewPanel::loadArtwork() {
    hasArtwork_ = false;
    QImage image;
    if (const auto& file = song_->location())
        if (const auto bytes = kelvara::ArtworkReader::artworkForFile(*file))
            image = imageFromBytes(*bytes);
    if (image.isNull()) {
        artwork_->setPixmap(placeholderArtwork(palette()));
        return;
    }
    hasArtwork_ = true;
    artwork_->setPixmap(QPixmap::fromImage(
        image.scaled(kArtworkSize, kArtworkSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

// The player is made on first use: a panel never opened costs no audio device.
void PreviewPanel::ensurePlayer() {
    if (player_) return;
    player_ = new QMediaPlayer(this);
    audio_ = new QAudioOutput(this);
    player_->setAudioOutput(audio_);
    connect(player_, &QMediaPlayer::durationChanged, this,
            [this](qint64 duration) { position_->setRange(0, static_cast<int>(duration)); });
    connect(player_, &QMediaPlayer::positionChanged, this, &PreviewPanel::updatePosition);
    connect(player_, &QMediaPlayer::playbackStateChanged, this,
            [this](QMediaPlayer::PlaybackState state) {
                const bool playing = state == QMediaPlayer::PlayingState;
                playButton_->setIcon(
                    style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
                playButton_->setAccessibleName(playing ? tr("Pause") : tr("Play"));
            });
    connect(player_, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString& reason) { elapsed_->setText(reason); });
}

void PreviewPanel::playCurrent() {
    if (!song_ || !song_->location()) return;
    ensurePlayer();
    player_->setSource(QUrl::fromLocalFile(QFile::decodeName(song_->location()->c_str())));
    player_->play();
}

void PreviewPanel::togglePlayback() {
    if (player_ && player_->playbackState() == QMediaPlayer::PlayingState)
        player_->pause();
    else if (player_ && player_->playbackState() == QMediaPlayer::PausedState)
        player_->play();
    else
        playCurrent();
}

void PreviewPanel::updatePosition(qint64 position) {
    if (!position_->isSliderDown()) position_->setValue(static_cast<int>(position));
    elapsed_->setText(clock(position));
}

void PreviewPanel::togglePanelFor(QWidget* anchor) {
    if (isVisible()) {
        hide();
        return;
    }
    if (!song_) return;
    placeBeside(anchor ? anchor->window() : nullptr);
    show();
    raise();
}

// To the right of the window when there is room on its screen, else to its left, else over its
// right edge.
void PreviewPanel::placeBeside(QWidget* window) {
    adjustSize();
    if (!window) return;
    const QRect frame = window->frameGeometry();
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(frame.topLeft(), QSize(1, 1));
    const QSize size = sizeHint();
    constexpr int kGap = 8;
    int x = frame.right() + kGap;
    if (x + size.width() > area.right()) x = frame.left() - kGap - size.width();
    if (x < area.left()) x = std::max(area.left(), frame.right() - size.width());
    const int y =
        std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() - size.height()));
    move(x, y);
}

void PreviewPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Escape) {
        hide();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PreviewPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    playCurrent();
}

void PreviewPanel::hideEvent(QHideEvent* event) {
    if (player_) player_->stop();
    QWidget::hideEvent(event);
}
