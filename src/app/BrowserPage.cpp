#include "app/BrowserPage.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include "app/ExportFlow.h"
#include "app/KvrTableView.h"
#include "app/SongListView.h"
#include "app/TickTableModel.h"

BrowserPage::BrowserPage(SongTableModel::Kind kind, StatusDisplay* status, QWidget* parent)
    : QWidget(parent),
      search_(new QLineEdit(this)),
      table_(new KvrTableView(this)),
      selectAll_(new QPushButton(this)),
      unselectAll_(new QPushButton(this)),
      songs_(new SongListView(kind, status, this)),
      splitter_(new QSplitter(Qt::Horizontal, this)) {
    const bool playlists = kind == SongTableModel::Kind::Playlist;
    auto* left = new QWidget(splitter_);
    left->setMinimumWidth(kMinimumListWidth);
    left->setMaximumWidth(kMaximumListWidth);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(6, 6, 0, 6);
    search_->setPlaceholderText(playlists ? tr("Search playlists") : tr("Search albums"));
    search_->setClearButtonEnabled(true);
    search_->setAccessibleName(playlists ? tr("Search playlists") : tr("Search albums"));
    leftLayout->addWidget(search_);
    table_->setAccessibleName(playlists ? tr("Playlists") : tr("Albums"));
    leftLayout->addWidget(table_, 1);
    auto* buttons = new QHBoxLayout;
    selectAll_->setText(tr("Select All"));
    unselectAll_->setText(tr("Unselect All"));
    selectAll_->setAccessibleName(playlists ? tr("Tick every playlist") : tr("Tick every album"));
    unselectAll_->setAccessibleName(playlists ? tr("Untick every playlist")
                                              : tr("Untick every album"));
    buttons->addWidget(selectAll_);
    buttons->addWidget(unselectAll_);
    buttons->addStretch(1);
    leftLayout->addLayout(buttons);

    splitter_->addWidget(left);
    splitter_->addWidget(songs_);
    splitter_->setCollapsible(0, false);
    splitter_->setCollapsible(1, false);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({300, 800});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter_);

    connect(selectAll_, &QPushButton::clicked, this, [this] {
        list_->setCheckedRows(0, shownCount() - 1, true);
        list_->persistTicks();
    });
    connect(unselectAll_, &QPushButton::clicked, this, [this] {
        list_->setCheckedRows(0, shownCount() - 1, false);
        list_->persistTicks();
    });
    connect(table_, &KvrTableView::rowPressed, this, &BrowserPage::rowPressed);
    connect(search_, &QLineEdit::textChanged, this, &BrowserPage::searchChanged);
}

void BrowserPage::setListModel(TickTableModel* model) {
    list_ = model;
    table_->setModel(model);
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < model->columnCount(); ++column)
        table_->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &BrowserPage::selectionChanged);
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        shownItem_ = nullptr;
        connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &BrowserPage::selectionChanged, Qt::UniqueConnection);
    });
    connect(model, &TickTableModel::ticked, this, [this] { list_->persistTicks(); });
}

int BrowserPage::shownCount() const { return list_->rowCount(); }

int BrowserPage::selectedRow() const { return table_->selectedRow(); }

void BrowserPage::clearSearchAndPersist() {
    search_->clear();  // an empty search persists the ticks itself, but only when it changed
    list_->persistTicks();
}

ExportFlow* BrowserPage::exportFlow() const { return exportFlow_; }
void BrowserPage::setExportFlow(ExportFlow* flow) { exportFlow_ = flow; }

void BrowserPage::revealInFinder() { songs_->revealInFinder(); }
void BrowserPage::openFile() { songs_->openFile(); }
void BrowserPage::preview() { songs_->preview(); }

void BrowserPage::selectRow(int row) {
    if (row < 0 || row >= shownCount()) {
        table_->clearSelection();
        return;
    }
    if (selectedRow() == row) {
        // Already selected: the view reports no change, but a load still shows the row.
        shownItem_ = nullptr;
        selectionChanged();
    } else {
        table_->selectRow(row);
    }
    table_->scrollTo(table_->model()->index(row, 0));
}

void BrowserPage::selectionChanged() {
    if (quiet_) return;
    const int row = selectedRow();
    if (row < 0 || row >= shownCount()) return;
    // A search that keeps the selected item reselects it; its songs are already on screen.
    if (itemAt(row) == shownItem_) return;
    shownItem_ = itemAt(row);
    showRow(row);
}

void BrowserPage::rowPressed(int row, Qt::KeyboardModifiers modifiers) {
    if (modifiers & Qt::ShiftModifier) {
        const int selected = selectedRow() < 0 ? 0 : selectedRow();
        list_->setCheckedRows(qMin(selected, row), qMax(selected, row), true);
    }
    list_->persistTicks();
}

void BrowserPage::searchChanged(const QString& text) {
    const void* selected = itemAt(selectedRow());
    quiet_ = true;
    list_->setSearch(text);
    const int row = selected ? rowOfItem(selected) : -1;
    if (row >= 0) table_->selectRow(row);
    shownItem_ = row >= 0 ? selected : nullptr;
    quiet_ = false;
    if (row >= 0) table_->scrollTo(table_->model()->index(row, 0));
    if (text.isEmpty()) list_->persistTicks();
}
