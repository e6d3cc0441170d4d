#pragma once

#include <QTimer>
#include <QWidget>
#include <optional>
#include <vector>

#include "engine/MetadataToken.h"

class QMimeData;

// A one-line editor of a file-name pattern: free text with song values drawn as rounded chips.
// A chip is edited as a whole: the cursor steps over it, Backspace removes it, and no editing turns
// it back into text. Typed text waits as a pending run (underlined) until the user pauses for the
// completion delay, presses Return, or moves the cursor; then the run becomes the first token
// whose name it begins ("ti" becomes Title) or stays text.
class TokenField : public QWidget {
    Q_OBJECT

  public:
    explicit TokenField(QWidget* parent = nullptr);
    ~TokenField() override;

    // The clipboard and drag format: the elements as the stored JSON list.
    static constexpr const char* mimeType = "application/x-kelvara-format-list";
    static constexpr int completionDelayMs = 500;

    void setElements(const kelvara::FormatList& elements);
    // The pattern as shown; a pending run counts as text until it is converted.
    kelvara::FormatList elements() const;

    // Converts the pending run now, as the delay or Return would.
    void commitTyping();
    // Appends the token `name` at the end and puts the cursor after it.
    void appendToken(const QString& name);
    void moveCursorToEnd();

    void copy() const;
    void cut();
    void paste();
    void selectAll();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  Q_SIGNALS:
    void elementsChanged();

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    // One step of the cursor: a token, or one character (grapheme) of a literal text. Text units
    // with the same `element` form one literal text of the list.
    struct Unit {
        QString text;
        bool token = false;
        bool pending = false;
        int element = 0;
    };

    std::vector<Unit> unitsOf(const kelvara::FormatList& list);
    kelvara::FormatList elementsIn(int begin, int end) const;
    QMimeData* mimeDataFor(int begin, int end) const;
    static std::optional<kelvara::FormatList> formatFrom(const QMimeData* data);

    bool hasSelection() const { return cursor_ != anchor_; }
    int selectionStart() const { return std::min(cursor_, anchor_); }
    int selectionEnd() const { return std::max(cursor_, anchor_); }
    void moveCursorTo(int position, bool extend);
    void insertUnits(int position, std::vector<Unit> units);
    void removeUnits(int begin, int end);
    void removeSelection();
    void insertFormat(const kelvara::FormatList& list);
    void typeText(const QString& text);
    void deleteBackward();
    void deleteForward();
    void changed();

    QRect textArea() const;               // where the elements are drawn
    std::vector<int> boundaries() const;  // x of each cursor position, before scrolling
    int positionAt(int x) const;          // the nearest cursor position
    int unitAt(int x) const;              // the unit under x, or -1
    void scrollToCursor();
    void startDrag();

    std::vector<Unit> units_;
    int cursor_ = 0;
    int anchor_ = 0;
    int nextElement_ = 1;
    int scroll_ = 0;
    std::optional<int> dropPosition_;
    QPoint pressPoint_;
    bool pressedInSelection_ = false;
    bool selecting_ = false;
    bool movedByOwnDrop_ = false;
    QTimer completionTimer_;
};
