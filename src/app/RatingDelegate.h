#pragma once

#include <QStyledItemDelegate>

// Draws a rating as five stars, filled as far as the row's rating goes. Read only.
class RatingDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    // `role` holds the number of whole stars, 0 to 5.
    explicit RatingDelegate(int role, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  private:
    int role_;
};
