#include "app/WelcomePage.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

WelcomePage::WelcomePage(QWidget* parent) : QWidget(parent) {
    auto* outer = new QVBoxLayout(this);
    auto* panel = new QFrame(this);
    panel->setMaximumWidth(640);
    auto* layout = new QVBoxLayout(panel);
    layout->setSpacing(12);

    auto* heading = new QLabel(tr("Kelvara needs your music library"), panel);
    QFont big = heading->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    heading->setFont(big);
    layout->addWidget(heading);

    auto* body = new QLabel(panel);
    body->setWordWrap(true);
    body->setTextFormat(Qt::RichText);
    body->setText(
        tr("<p>Kelvara reads the library's XML file, which Music and iTunes write next to their "
           "library. "
           "Copy it to this computer, together with the music folder.</p>"
           "<p><b>Music on a Mac:</b> File → Library → Export Library…, or Settings → Files → "
           "\"Share Library XML with other applications\" where your version of Music has it.</p>"
           "<p><b>iTunes on Windows:</b> Edit → Preferences → Advanced → "
           "\"Share iTunes Library XML with other applications\"; the file is \"iTunes "
           "Library.xml\" in the "
           "iTunes folder.</p>"));
    layout->addWidget(body);

    failure_ = new QLabel(panel);
    failure_->setWordWrap(true);
    failure_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    failure_->setStyleSheet(QStringLiteral("color: #b00020;"));
    failure_->setAccessibleName(tr("Why the library could not be read"));
    failure_->hide();
    layout->addWidget(failure_);

    open_ = new QPushButton(tr("Open Library File…"), panel);
    open_->setAccessibleName(tr("Open Library File…"));
    open_->setDefault(true);
    auto* row = new QHBoxLayout;
    row->addWidget(open_);
    row->addStretch(1);
    layout->addLayout(row);

    outer->addStretch(1);
    auto* centred = new QHBoxLayout;
    centred->addStretch(1);
    centred->addWidget(panel, 3);
    centred->addStretch(1);
    outer->addLayout(centred);
    outer->addStretch(2);

    connect(open_, &QPushButton::clicked, this, &WelcomePage::openLibraryFile);
}

void WelcomePage::setFailure(const QString& reason) {
    failure_->setText(reason);
    failure_->setVisible(!reason.isEmpty());
}

QString WelcomePage::failure() const { return failure_->text(); }
