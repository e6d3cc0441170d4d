#pragma once

#include <QPointer>
#include <QWidget>

#include "app/SongTableModel.h"

class ExportFlow;
class KvrTableView;
class QLineEdit;
class QPushButton;
class QSplitter;
class SongListView;
class StatusDisplay;
class TickTableModel;

// What the playlist page and the album page share: a ticked list with a search field on the
// left, the song list on the right, a divider held between 260 and 500 px.
class BrowserPage : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kMinimumListWidth = 260;
    static constexpr int kMaximumListWidth = 500;

    BrowserPage(SongTableModel::Kind kind, StatusDisplay* status, QWidget* parent = nullptr);

    virtual void reloadItunesData() = 0;
    // The toolbar's Export… and Save Listing…: the dialog, then the run or the listing.
    virtual void exportFolder() = 0;
    virtual void exportToExcel() = 0;
    void revealInFinder();
    void openFile();
    void preview();

    QLineEdit* searchField() const { return search_; }
    KvrTableView* table() const { return table_; }
    SongListView* songList() const { return songs_; }
    QSplitter* splitter() const { return splitter_; }
    QPushButton* selectAllButton() const { return selectAll_; }
    QPushButton* unselectAllButton() const { return unselectAll_; }
    bool isFirstTime() const { return firstTime_; }

    // The selected row of the list, -1 when none.
    int selectedRow() const;

    // Before an export or a listing: the search is cleared so that every row counts, and the
    // ticks are persisted.
    void clearSearchAndPersist();
    // The rows the search leaves shown.
    int shownCount() const;

    // The flow of the page's latest export run, which keeps its engine; null before the first.
    ExportFlow* exportFlow() const;
    void setExportFlow(ExportFlow* flow);

  Q_SIGNALS:
    // A load finished (the list is filled and the remembered row selected).
    void loaded();

  protected:
    // The list's ticks, search and saved selection are the model's; a click on a box saves them.
    void setListModel(TickTableModel* model);
    // Selects `row` (or none) and handles it as a user's selection would be.
    void selectRow(int row);

    // The page's own parts.
    virtual void showRow(int row) = 0;
    // The item of the selected row, kept across a search; null when none.
    virtual const void* itemAt(int row) const = 0;
    virtual int rowOfItem(const void* item) const = 0;

    bool firstTime_ = false;

  private:
    void selectionChanged();
    void rowPressed(int row, Qt::KeyboardModifiers modifiers);
    void searchChanged(const QString& text);

    QLineEdit* search_;
    KvrTableView* table_;
    TickTableModel* list_ = nullptr;
    QPushButton* selectAll_;
    QPushButton* unselectAll_;
    SongListView* songs_;
    QSplitter* splitter_;
    const void* shownItem_ = nullptr;
    bool quiet_ = false;
    QPointer<ExportFlow> exportFlow_;
};
