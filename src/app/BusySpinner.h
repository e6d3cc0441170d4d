#pragma once

#include <QTimer>
#include <QWidget>

// The small spinning indicator of the progress and loading sheets: twelve spokes turning while
// something is being worked on, nothing drawn while it is stopped.
class BusySpinner : public QWidget {
  public:
    explicit BusySpinner(QWidget* parent = nullptr);

    void setSpinning(bool spinning);
    bool isSpinning() const { return timer_.isActive(); }

    QSize sizeHint() const override { return {18, 18}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QTimer timer_;
    int step_ = 0;
};
