#pragma once

#include <QMenu>
#include <QPointer>
#include <QTableView>

// A table with a row menu. A right click makes the table the focus; on a row that is not
// selected it selects that row alone, outside the rows it selects nothing new. With no row
// selected the menu comes up with every entry disabled.
class KvrTableView : public QTableView {
    Q_OBJECT

  public:
    explicit KvrTableView(QWidget* parent = nullptr);

    void setRowMenu(QMenu* menu) { rowMenu_ = menu; }
    QMenu* rowMenu() const { return rowMenu_; }
    // The row under the last right click; -1 when it was not on a row.
    int clickedRow() const { return clickedRow_; }
    // The clicked row, else the selected row, else -1.
    int targetRow() const;
    int selectedRow() const;

    // Shows the row menu as a right click at `position` (viewport coordinates) would. The menu
    // shown is returned; it is the table's own or a disabled copy.
    QMenu* openRowMenu(const QPoint& position);

  Q_SIGNALS:
    // Before the row menu shows, so its owner can point the entries at the target row.
    void rowMenuAboutToShow();
    // A press on a row, before the selection moves (Shift-click ranges need the old selection).
    void rowPressed(int row, Qt::KeyboardModifiers modifiers);
    // The Space key on the table.
    void spacePressed();

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QPointer<QMenu> rowMenu_;
    QMenu* disabledCopy_ = nullptr;
    int clickedRow_ = -1;
};
