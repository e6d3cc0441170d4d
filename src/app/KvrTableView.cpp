#include "app/KvrTableView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMetaMethod>

KvrTableView::KvrTableView(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAlternatingRowColors(true);
    setShowGrid(false);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

int KvrTableView::selectedRow() const {
    if (!selectionModel()) return -1;
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

int KvrTableView::targetRow() const { return clickedRow_ >= 0 ? clickedRow_ : selectedRow(); }

QMenu* KvrTableView::openRowMenu(const QPoint& position) {
    if (!rowMenu_) return nullptr;
    setFocus(Qt::MouseFocusReason);
    const QModelIndex index = indexAt(position);
    clickedRow_ = index.isValid() ? index.row() : -1;
    if (index.isValid() && !selectionModel()->isRowSelected(index.row(), QModelIndex()))
        selectRow(index.row());
    Q_EMIT rowMenuAboutToShow();
    QMenu* menu = rowMenu_;
    if (selectedRow() < 0) {
        delete disabledCopy_;
        disabledCopy_ = new QMenu(this);
        for (QAction* action : rowMenu_->actions()) {
            if (!action->isVisible()) continue;
            QAction* copy = action->isSeparator() ? disabledCopy_->addSeparator()
                                                  : disabledCopy_->addAction(action->text());
            copy->setEnabled(false);
        }
        menu = disabledCopy_;
    }
    menu->popup(viewport()->mapToGlobal(position));
    return menu;
}

void KvrTableView::contextMenuEvent(QContextMenuEvent* event) {
    if (!rowMenu_) return QTableView::contextMenuEvent(event);
    openRowMenu(viewport()->mapFromGlobal(event->globalPos()));
    event->accept();
}

void KvrTableView::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton)
        Q_EMIT rowPressed(index.row(), event->modifiers());
    QTableView::mousePressEvent(event);
}

void KvrTableView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier &&
        isSignalConnected(QMetaMethod::fromSignal(&KvrTableView::spacePressed))) {
        Q_EMIT spacePressed();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}
