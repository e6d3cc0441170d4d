#include "app/AboutDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "conversion/FfmpegLibraries.h"

AboutDialog::AboutDialog(QWidget* window) : QDialog(window) {
    setObjectName("aboutDialog");
    setWindowTitle(tr("About Kelvara"));
    setWindowModality(Qt::WindowModal);

    auto* name = new QLabel(tr("Kelvara"), this);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);
    name->setAccessibleName(tr("Application name"));

    auto* version = new QLabel(versionText(), this);
    version->setObjectName("aboutVersion");
    version->setAccessibleName(tr("Version"));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* summary =
        new QLabel(tr("Exports the music of your iTunes or Music library into ordinary folders, "
                      "copied or converted, with playlist files and song listings."),
                   this);
    summary->setWordWrap(true);

    auto* feedback =
        new QLabel(tr("Questions, ideas, or something that does not work as it should? "
                      "Tell us on the project's page; every message is read."),
                   this);
    feedback->setWordWrap(true);
    feedback->setAccessibleName(tr("Feedback"));

    auto* licences = new QTextBrowser(this);
    licences->setObjectName("aboutLicences");
    licences->setAccessibleName(tr("Licences"));
    licences->setOpenExternalLinks(false);
    licences->setFrameShape(QFrame::StyledPanel);
    licences->setFixedHeight(150);
    QString rows;
    for (const Licence& licence : AboutDialog::licences())
        rows += QStringLiteral("<tr><td>%1</td><td>&nbsp;&nbsp;%2</td></tr>")
                    .arg(licence.component.toHtmlEscaped(), licence.licence.toHtmlEscaped());
    licences->setHtml(QStringLiteral("<table>%1</table>").arg(rows));

    auto* contact = new QPushButton(tr("Send Feedback…"), this);
    contact->setObjectName("aboutFeedbackButton");
    contact->setAccessibleName(tr("Send feedback on the project's page"));
    contact->setToolTip(projectPage().toString());
    contact->setAutoDefault(false);
    connect(contact, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(projectPage());
        Q_EMIT projectPageOpened(projectPage());
    });

    auto* close = new QPushButton(tr("Close"), this);
    close->setAccessibleName(tr("Close"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version);
    texts->addSpacing(8);
    texts->addWidget(summary);
    texts->addSpacing(8);
    texts->addWidget(feedback);
    auto* top = new QHBoxLayout;
    // Without an application icon the texts take the whole width.
    if (!QApplication::windowIcon().isNull()) {
        auto* icon = new QLabel(this);
        icon->setPixmap(QApplication::windowIcon().pixmap(64, 64));
        icon->setAccessibleName(tr("Kelvara icon"));
        top->addWidget(icon, 0, Qt::AlignTop);
        top->addSpacing(12);
    }
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contact);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addWidget(licences);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    setFixedWidth(440);
}

QUrl AboutDialog::projectPage() { return QUrl("https://github.com/kelvara/kelvara"); }

QString AboutDialog::versionText() { return tr("Version %1").arg(KELVARA_VERSION); }

QList<AboutDialog::Licence> AboutDialog::licences() {
    // FFmpeg says itself which licence it was built under: Debian's is built with GPL parts.
    const auto ffmpegLicence = kelvara::FfmpegLibraries::licence();
    const QString ffmpeg = ffmpegLicence
                               ? QString::fromStdString(*ffmpegLicence)
                                     .replace(QStringLiteral(" version "), QStringLiteral(" "))
                                     .replace(QStringLiteral(" or later"), QStringLiteral("+"))
                               : tr("Not installed: songs cannot be converted");
    const auto ffmpegVersion = kelvara::FfmpegLibraries::version();
    return {
        {tr("Kelvara %1").arg(KELVARA_VERSION), tr("No licence declared yet")},
        {QStringLiteral("Qt %1").arg(QString::fromUtf8(qVersion())),
         QStringLiteral("LGPL 3 (or GPL 2 or 3)")},
        {QStringLiteral("FFmpeg %1")
             .arg(QString::fromStdString(ffmpegVersion.value_or("")))
             .trimmed(),
         ffmpeg},
        {QStringLiteral("LAME"), QStringLiteral("LGPL 2+")},
        {QStringLiteral("id3lib"), QStringLiteral("LGPL 2+")},
        {QStringLiteral("pugixml"), QStringLiteral("MIT")},
        {QStringLiteral("libxlsxwriter"), QStringLiteral("BSD 2-Clause")},
        {QStringLiteral("nlohmann-json"), QStringLiteral("MIT")},
        {QStringLiteral("utf8proc"), QStringLiteral("MIT and Unicode data licence")},
        {QStringLiteral("libjpeg-turbo"), QStringLiteral("IJG, BSD 3-Clause and zlib")},
        {QStringLiteral("libpng"), QStringLiteral("libpng licence 2")},
        {QStringLiteral("CLI11"), QStringLiteral("BSD 3-Clause")},
        {QStringLiteral("systemd sd-bus"), QStringLiteral("LGPL 2.1+")},
    };
}
