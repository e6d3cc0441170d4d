#pragma once

#include <QAbstractTableModel>
#include <cstddef>
#include <string>
#include <vector>

// What the album and playlist tables share: one check box per row in the first column, a search
// that narrows the rows, and the ticked rows remembered by name under a preference key.
class TickTableModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    // Keeps the rows whose text contains `search` ignoring case and accents; empty keeps all.
    void setSearch(const QString& search);

    bool isChecked(int row) const;
    void setCheckedRows(int from, int to, bool checked);
    // The names of the ticked rows, in row order, under the table's preference key.
    void persistTicks() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  Q_SIGNALS:
    // A check box was clicked.
    void ticked();

  protected:
    TickTableModel(const char* ticksKey, int columns, QObject* parent);

    // Inside a model reset: the text the search looks in, one for each of the table's entries;
    // every entry is shown.
    void setSearchTexts(const std::vector<std::string>& texts);
    // The index of the entry shown at `row`, a shown row.
    std::size_t shownEntry(int row) const { return shown_[static_cast<std::size_t>(row)]; }
    // False while there is nothing to hold the ticks; no row can be ticked then.
    virtual bool canTick() const { return true; }
    // The row hooks are called with a shown row only, and only when canTick().
    virtual bool rowChecked(int row) const = 0;
    virtual void setRowChecked(int row, bool checked) = 0;
    virtual std::string tickName(int row) const = 0;

  private:
    const char* ticksKey_;
    int columns_;
    std::vector<std::string> folded_;
    std::vector<std::size_t> shown_;
};
