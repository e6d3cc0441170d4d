#include "app/FileChoosers.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QStandardPaths>
#include <QTimer>

namespace {

std::function<std::optional<QString>(const QString&)>& testAnswer() {
    static std::function<std::optional<QString>(const QString&)> answer;
    return answer;
}

// Where the next chooser starts: the folder the user chose last in this session.
QString& lastFolder() {
    static QString folder = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return folder;
}

// True when a test answered in place of the chooser; `done` then runs after the caller has
// returned, as it would after a real chooser.
bool answeredByTest(const QString& title, QWidget* window,
                    const std::function<void(const QString&)>& done) {
    if (!testAnswer()) return false;
    const std::optional<QString> answer = testAnswer()(title);
    QObject* context = window ? static_cast<QObject*>(window) : qApp;
    if (answer) QTimer::singleShot(0, context, [done, path = *answer] { done(path); });
    return true;
}

QFileDialog* makeChooser(QWidget* window, const QString& title) {
    // Qt's own chooser: the portal's cannot show the message or name the confirm button.
    auto* chooser = new QFileDialog(window, title, lastFolder());
    chooser->setOption(QFileDialog::DontUseNativeDialog);
    chooser->setWindowModality(Qt::WindowModal);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    return chooser;
}

}  // namespace

void FileChoosers::chooseDestinationFolder(QWidget* window,
                                           std::function<void(const QString&)> done) {
    const QString title = QObject::tr(kDestinationTitle);
    if (answeredByTest(title, window, done)) return;
    QFileDialog* chooser = makeChooser(window, title);
    chooser->setFileMode(QFileDialog::Directory);
    chooser->setOption(QFileDialog::ShowDirsOnly);
    chooser->setLabelText(QFileDialog::Accept, QObject::tr("Start export"));
    if (auto* grid = qobject_cast<QGridLayout*>(chooser->layout())) {
        auto* message =
            new QLabel(QObject::tr("Please choose destination folder for saving data."), chooser);
        message->setWordWrap(true);
        grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
    }
    QObject::connect(chooser, &QFileDialog::fileSelected, chooser,
                     [done = std::move(done)](const QString& folder) {
                         lastFolder() = folder;
                         done(folder);
                     });
    chooser->open();
}

void FileChoosers::chooseListingFile(QWidget* window, const QString& proposedName,
                                     const QString& typeName, const QString& extension,
                                     std::function<void(const QString&)> done) {
    const QString title = QObject::tr("Save Listing");
    if (answeredByTest(title, window, done)) return;
    QFileDialog* chooser = makeChooser(window, title);
    chooser->setAcceptMode(QFileDialog::AcceptSave);
    chooser->setFileMode(QFileDialog::AnyFile);
    chooser->setNameFilter(QStringLiteral("%1 (*%2)").arg(typeName, extension));
    chooser->setDefaultSuffix(extension.mid(1));
    chooser->selectFile(QDir(lastFolder()).filePath(proposedName + extension));
    QObject::connect(chooser, &QFileDialog::fileSelected, chooser,
                     [done = std::move(done)](const QString& file) {
                         lastFolder() = QFileInfo(file).absolutePath();
                         done(file);
                     });
    chooser->open();
}

void FileChoosers::answerForTests(std::function<std::optional<QString>(const QString&)> answer) {
    testAnswer() = std::move(answer);
}
