#include "app/LibrarySettingsDialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "library/LibraryPreferences.h"

using namespace kelvara;

LibrarySettingsDialog::LibrarySettingsDialog(QWidget* parent)
    : QDialog(parent), folder_(new QLineEdit(this)), map_(new QPlainTextEdit(this)) {
    setWindowTitle(tr("Library Settings"));
    setWindowModality(Qt::WindowModal);
    PreferencesStore& preferences = PreferencesStore::standardUserDefaults();

    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        tr("A library made on another computer names its files by paths that do not exist "
           "here. Tell Kelvara where its music folder is on this computer."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* form = new QFormLayout;
    auto* folderRow = new QHBoxLayout;
    if (const auto folder = LibraryPreferences::musicFolder(preferences))
        folder_->setText(QString::fromStdString(folder->string()));
    folder_->setAccessibleName(tr("Music folder"));
    auto* browse = new QPushButton(tr("Choose…"), this);
    browse->setAccessibleName(tr("Choose the music folder"));
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(browse);
    form->addRow(tr("Music folder:"), folderRow);

    QStringList lines;
    for (const std::string& line : preferences.stringArrayForKey("PathMap"))
        lines << QString::fromStdString(line);
    map_->setPlainText(lines.join(QLatin1Char('\n')));
    map_->setPlaceholderText(tr("C:/Users/me/Music=/home/me/Music"));
    map_->setAccessibleName(tr("Path replacements, one FROM=TO per line"));
    map_->setMinimumHeight(90);
    form->addRow(tr("Also replace\n(FROM=TO):"), map_);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    resize(560, sizeHint().height());

    connect(browse, &QPushButton::clicked, this, [this] {
        const QString folder =
            QFileDialog::getExistingDirectory(this, tr("Music folder"), folder_->text());
        if (!folder.isEmpty()) folder_->setText(folder);
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &LibrarySettingsDialog::acceptIfValid);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool LibrarySettingsDialog::store() {
    std::vector<LocationMapping> mappings;
    for (const QString& line : map_->toPlainText().split(QLatin1Char('\n'))) {
        if (line.trimmed().isEmpty()) continue;
        auto mapping = LibraryPreferences::parseMapping(line.trimmed().toStdString());
        if (!mapping) {
            QMessageBox::warning(this, windowTitle(),
                                 tr("\"%1\" is not of the form FROM=TO.").arg(line.trimmed()));
            return false;
        }
        mappings.push_back(std::move(*mapping));
    }
    const QString folder = folder_->text().trimmed();
    LibraryPreferences::store(PreferencesStore::standardUserDefaults(),
                              folder.isEmpty()
                                  ? std::nullopt
                                  : std::optional(std::filesystem::path(folder.toStdString())),
                              mappings);
    return true;
}

void LibrarySettingsDialog::acceptIfValid() {
    if (store()) accept();
}
