#include "dialogs/TokenField.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDrag>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <array>

namespace {

using kelvara::FormatList;
using kelvara::MetadataToken;

constexpr int kChipPadding = 6;  // text to chip edge
constexpr int kChipMargin = 2;   // chip edge to its neighbours
constexpr int kInnerMargin = 3;  // frame to the first element

// Without case and accents: "Tí" and "ti" compare equal.
QString looseForm(const QString& text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString bare;
    bare.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (!c.isMark()) bare += c;
    return bare.toCaseFolded();
}

// The first name, in this order, that the typed text begins; so "a" is Album, not Artist.
std::optional<QString> tokenNameFor(const QString& typed) {
    static const std::array<const char*, 5> candidates = {
        MetadataToken::kAlbum, MetadataToken::kArtist, MetadataToken::kTrackNo,
        MetadataToken::kTitle, MetadataToken::kDiskNo};
    const QString loose = looseForm(typed);
    if (loose.isEmpty()) return std::nullopt;
    for (const char* name : candidates)
        if (looseForm(QString::fromUtf8(name)).startsWith(loose)) return QString::fromUtf8(name);
    return std::nullopt;
}

// Typed or dropped text loses "/" (a name must stay inside its folder) and control characters.
QString typeable(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        if (c != u'/' && c.category() != QChar::Other_Control) out += c;
    return out;
}

// Judged by the whole first character: a character beyond U+FFFF comes as two UTF-16 halves,
// neither of which is printable alone.
bool startsPrintable(const QString& text) {
    const QList<uint> codes = text.left(2).toUcs4();
    return !codes.isEmpty() && QChar::isPrint(static_cast<char32_t>(codes.first()));
}

QStringList graphemes(const QString& text) {
    QStringList out;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        if (end > start) out << text.mid(start, end - start);
        start = end;
    }
    return out;
}

int chipWidth(const QFontMetrics& metrics, const QString& name) {
    return metrics.horizontalAdvance(name) + 2 * kChipPadding + 2 * kChipMargin;
}

}  // namespace

TokenField::TokenField(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setAcceptDrops(true);
    setCursor(Qt::IBeamCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(tr("File name pattern"));
    setToolTip(
        tr("The file name, built from text and song values. Type text, or type the start of a "
           "value's name (\"ti\" for Title) and pause or press Return to make it a value."));
    completionTimer_.setSingleShot(true);
    completionTimer_.setInterval(completionDelayMs);
    connect(&completionTimer_, &QTimer::timeout, this, &TokenField::commitTyping);
}

TokenField::~TokenField() = default;

std::vector<TokenField::Unit> TokenField::unitsOf(const FormatList& list) {
    std::vector<Unit> units;
    for (const FormatList::Element& element : list.elements()) {
        const int id = nextElement_++;
        if (const auto* token = std::get_if<MetadataToken>(&element)) {
            units.push_back({QString::fromStdString(token->name), true, false, id});
            continue;
        }
        for (const QString& piece :
             graphemes(typeable(QString::fromStdString(std::get<std::string>(element)))))
            units.push_back({piece, false, false, id});
    }
    return units;
}

FormatList TokenField::elementsIn(int begin, int end) const {
    std::vector<FormatList::Element> elements;
    int element = 0;
    for (int i = begin; i < end; ++i) {
        const Unit& unit = units_[i];
        if (unit.token) {
            elements.emplace_back(MetadataToken{unit.text.toStdString()});
            element = 0;
        } else if (element == unit.element && !elements.empty()) {
            std::get<std::string>(elements.back()) += unit.text.toStdString();
        } else {
            elements.emplace_back(unit.text.toStdString());
            element = unit.element;
        }
    }
    return FormatList(std::move(elements));
}

void TokenField::setElements(const FormatList& elements) {
    completionTimer_.stop();
    units_ = unitsOf(elements);
    cursor_ = anchor_ = static_cast<int>(units_.size());
    changed();
}

FormatList TokenField::elements() const { return elementsIn(0, static_cast<int>(units_.size())); }

void TokenField::changed() {
    // Screen readers get the pattern in its written form, tokens in angle brackets.
    setAccessibleDescription(QString::fromStdString(elements().toText()));
    scrollToCursor();
    update();
    Q_EMIT elementsChanged();
}

void TokenField::commitTyping() {
    completionTimer_.stop();
    const auto first =
        std::find_if(units_.begin(), units_.end(), [](const Unit& u) { return u.pending; });
    if (first == units_.end()) return;
    const auto last = std::find_if(first, units_.end(), [](const Unit& u) { return !u.pending; });
    const int begin = static_cast<int>(first - units_.begin());
    const int end = static_cast<int>(last - units_.begin());
    QString typed;
    for (int i = begin; i < end; ++i) typed += units_[i].text;

    if (const auto name = tokenNameFor(typed)) {
        const int removed = end - begin - 1;
        auto shift = [&](int position) {
            if (position >= end) return position - removed;
            return position > begin ? begin + 1 : position;
        };
        cursor_ = shift(cursor_);
        anchor_ = shift(anchor_);
        units_.erase(first, last);
        units_.insert(units_.begin() + begin, Unit{*name, true, false, nextElement_++});
    } else {
        // Text stays text and joins the literal it was typed into.
        int element = units_[begin].element;
        if (begin > 0 && !units_[begin - 1].token)
            element = units_[begin - 1].element;
        else if (end < static_cast<int>(units_.size()) && !units_[end].token)
            element = units_[end].element;
        for (int i = begin; i < end; ++i) units_[i] = {units_[i].text, false, false, element};
    }
    changed();
}

void TokenField::appendToken(const QString& name) {
    commitTyping();
    units_.push_back({name, true, false, nextElement_++});
    cursor_ = anchor_ = static_cast<int>(units_.size());
    changed();
}

void TokenField::moveCursorToEnd() {
    commitTyping();
    moveCursorTo(static_cast<int>(units_.size()), false);
}

void TokenField::moveCursorTo(int position, bool extend) {
    cursor_ = std::clamp(position, 0, static_cast<int>(units_.size()));
    if (!extend) anchor_ = cursor_;
    scrollToCursor();
    update();
}

void TokenField::insertUnits(int position, std::vector<Unit> units) {
    const int count = static_cast<int>(units.size());
    units_.insert(units_.begin() + position, std::make_move_iterator(units.begin()),
                  std::make_move_iterator(units.end()));
    cursor_ = anchor_ = position + count;
}

void TokenField::removeUnits(int begin, int end) {
    units_.erase(units_.begin() + begin, units_.begin() + end);
    auto shift = [&](int position) {
        return position >= end ? position - (end - begin) : std::min(position, begin);
    };
    cursor_ = shift(cursor_);
    anchor_ = shift(anchor_);
}

void TokenField::removeSelection() {
    if (hasSelection()) removeUnits(selectionStart(), selectionEnd());
}

void TokenField::insertFormat(const FormatList& list) {
    commitTyping();
    removeSelection();
    insertUnits(cursor_, unitsOf(list));
    changed();
}

void TokenField::typeText(const QString& text) {
    const QStringList pieces = graphemes(typeable(text));
    if (pieces.isEmpty()) return;
    if (hasSelection()) {
        commitTyping();
        removeSelection();
    }
    // The run grows only while the cursor stays at its end; anywhere else a new run starts.
    int element = 0;
    if (cursor_ > 0 && units_[cursor_ - 1].pending)
        element = units_[cursor_ - 1].element;
    else {
        commitTyping();
        element = nextElement_++;
    }
    std::vector<Unit> units;
    for (const QString& piece : pieces) units.push_back({piece, false, true, element});
    insertUnits(cursor_, std::move(units));
    completionTimer_.start();
    changed();
}

void TokenField::deleteBackward() {
    if (hasSelection() || cursor_ == 0 || !units_[cursor_ - 1].pending) commitTyping();
    if (hasSelection())
        removeSelection();
    else if (cursor_ > 0)
        removeUnits(cursor_ - 1, cursor_);
    else
        return;
    if (std::any_of(units_.begin(), units_.end(), [](const Unit& u) { return u.pending; }))
        completionTimer_.start();
    changed();
}

void TokenField::deleteForward() {
    commitTyping();
    if (hasSelection())
        removeSelection();
    else if (cursor_ < static_cast<int>(units_.size()))
        removeUnits(cursor_, cursor_ + 1);
    else
        return;
    changed();
}

QMimeData* TokenField::mimeDataFor(int begin, int end) const {
    const FormatList list = elementsIn(begin, end);
    auto* data = new QMimeData;
    data->setData(mimeType, QByteArray::fromStdString(list.toJson().dump()));
    data->setText(QString::fromStdString(list.toText()));
    return data;
}

std::optional<FormatList> TokenField::formatFrom(const QMimeData* data) {
    if (!data) return std::nullopt;
    if (data->hasFormat(mimeType)) {
        const auto json = nlohmann::json::parse(data->data(mimeType).toStdString(), nullptr, false);
        if (auto list = FormatList::fromJson(json)) return list;
    }
    if (!data->hasText()) return std::nullopt;
    const std::string text = data->text().toStdString();
    // "<Title> - <Artist>" from elsewhere reads as tokens; text with an unknown name in angle
    // brackets is taken literally rather than refused.
    if (auto parsed = FormatList::parse(text); parsed.ok()) return std::move(parsed).value();
    return FormatList::fromJson(nlohmann::json::array({text}));
}

void TokenField::copy() const {
    if (hasSelection())
        QApplication::clipboard()->setMimeData(mimeDataFor(selectionStart(), selectionEnd()));
}

void TokenField::cut() {
    if (!hasSelection()) return;
    commitTyping();
    copy();
    removeSelection();
    changed();
}

void TokenField::paste() {
    if (const auto list = formatFrom(QApplication::clipboard()->mimeData())) insertFormat(*list);
}

void TokenField::selectAll() {
    commitTyping();
    anchor_ = 0;
    moveCursorTo(static_cast<int>(units_.size()), true);
}

bool TokenField::event(QEvent* event) {
    // Keys the field uses itself must not fire shortcuts of the dialog or the window.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut) ||
            key->matches(QKeySequence::Paste) || key->matches(QKeySequence::SelectAll) ||
            key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete ||
            key->key() == Qt::Key_Home || key->key() == Qt::Key_End ||
            (startsPrintable(key->text()) &&
             !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void TokenField::keyPressEvent(QKeyEvent* event) {
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::Cut)) {
        cut();
    } else if (event->matches(QKeySequence::Paste)) {
        paste();
    } else if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else {
        switch (event->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                // Converts the typed run; it does not press the dialog's default button.
                commitTyping();
                break;
            case Qt::Key_Left:
            case Qt::Key_Right: {
                commitTyping();
                const int step = event->key() == Qt::Key_Left ? -1 : 1;
                if (!shift && hasSelection())
                    moveCursorTo(step < 0 ? selectionStart() : selectionEnd(), false);
                else
                    moveCursorTo(cursor_ + step, shift);
                break;
            }
            case Qt::Key_Home:
            case Qt::Key_Up:
                commitTyping();
                moveCursorTo(0, shift);
                break;
            case Qt::Key_End:
            case Qt::Key_Down:
                commitTyping();
                moveCursorTo(static_cast<int>(units_.size()), shift);
                break;
            case Qt::Key_Backspace:
                deleteBackward();
                break;
            case Qt::Key_Delete:
                deleteForward();
                break;
            default:
                if (!startsPrintable(event->text()) ||
                    (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
                    event->ignore();  // Escape, Tab and shortcuts belong to the dialog
                    return;
                }
                typeText(event->text());
        }
    }
    event->accept();
}

void TokenField::inputMethodEvent(QInputMethodEvent* event) {
    if (!event->commitString().isEmpty()) typeText(event->commitString());
    event->accept();
}

QVariant TokenField::inputMethodQuery(Qt::InputMethodQuery query) const {
    switch (query) {
        case Qt::ImEnabled:
            return true;
        case Qt::ImCursorRectangle: {
            const int x = boundaries()[cursor_] - scroll_;
            const QRect area = textArea();
            return QRect(area.left() + x, area.top(), 1, area.height());
        }
        default:
            return QWidget::inputMethodQuery(query);
    }
}

void TokenField::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void TokenField::focusOutEvent(QFocusEvent* event) {
    // Leaving the field ends the typing, as the delay would.
    if (event->reason() != Qt::PopupFocusReason) commitTyping();
    update();
    QWidget::focusOutEvent(event);
}

void TokenField::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    commitTyping();
    const int x = event->position().toPoint().x() - textArea().left() + scroll_;
    const int unit = unitAt(x);
    pressPoint_ = event->position().toPoint();
    pressedInSelection_ = hasSelection() && unit >= selectionStart() && unit < selectionEnd();
    if (!pressedInSelection_) {
        moveCursorTo(positionAt(x), event->modifiers() & Qt::ShiftModifier);
        selecting_ = true;
    }
}

void TokenField::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (pressedInSelection_) {
        if ((point - pressPoint_).manhattanLength() >= QApplication::startDragDistance()) {
            pressedInSelection_ = false;
            startDrag();
        }
    } else if (selecting_) {
        moveCursorTo(positionAt(point.x() - textArea().left() + scroll_), true);
    }
}

void TokenField::mouseReleaseEvent(QMouseEvent* event) {
    if (pressedInSelection_)
        moveCursorTo(positionAt(event->position().toPoint().x() - textArea().left() + scroll_),
                     false);
    pressedInSelection_ = false;
    selecting_ = false;
}

void TokenField::mouseDoubleClickEvent(QMouseEvent* event) {
    // Selects the element under the pointer: one token, or one whole literal text.
    const int unit = unitAt(event->position().toPoint().x() - textArea().left() + scroll_);
    if (unit < 0) return;
    int begin = unit;
    int end = unit + 1;
    if (!units_[unit].token) {
        while (begin > 0 && !units_[begin - 1].token &&
               units_[begin - 1].element == units_[unit].element)
            --begin;
        while (end < static_cast<int>(units_.size()) && !units_[end].token &&
               units_[end].element == units_[unit].element)
            ++end;
    }
    anchor_ = begin;
    moveCursorTo(end, true);
    selecting_ = false;
}

void TokenField::startDrag() {
    const int begin = selectionStart();
    const int end = selectionEnd();
    auto* drag = new QDrag(this);
    drag->setMimeData(mimeDataFor(begin, end));
    movedByOwnDrop_ = false;
    const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
    // A move into another program takes the elements away from here; a move within this field
    // was already carried out by the drop.
    if (action == Qt::MoveAction && !movedByOwnDrop_) {
        anchor_ = begin;
        cursor_ = end;
        removeSelection();
        changed();
    }
}

void TokenField::dragEnterEvent(QDragEnterEvent* event) {
    if (formatFrom(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TokenField::dragMoveEvent(QDragMoveEvent* event) {
    dropPosition_ = positionAt(event->position().toPoint().x() - textArea().left() + scroll_);
    event->acceptProposedAction();
    update();
}

void TokenField::dragLeaveEvent(QDragLeaveEvent*) {
    dropPosition_.reset();
    update();
}

void TokenField::dropEvent(QDropEvent* event) {
    dropPosition_.reset();
    const auto list = formatFrom(event->mimeData());
    if (!list) return event->ignore();
    commitTyping();
    int position = positionAt(event->position().toPoint().x() - textArea().left() + scroll_);
    const bool moveHere = event->source() == this && event->dropAction() == Qt::MoveAction;
    if (moveHere) {
        const int begin = selectionStart();
        const int end = selectionEnd();
        if (position >= begin && position <= end) return event->ignore();  // onto itself
        removeUnits(begin, end);
        if (position > end) position -= end - begin;
        movedByOwnDrop_ = true;
    }
    insertUnits(position, unitsOf(*list));
    anchor_ = position;
    changed();
    event->acceptProposedAction();
}

void TokenField::contextMenuEvent(QContextMenuEvent* event) {
    commitTyping();
    QMenu menu(this);
    const bool selection = hasSelection();
    menu.addAction(tr("Cu&t"), QKeySequence::Cut, this, &TokenField::cut)->setEnabled(selection);
    menu.addAction(tr("&Copy"), QKeySequence::Copy, this, &TokenField::copy)->setEnabled(selection);
    menu.addAction(tr("&Paste"), QKeySequence::Paste, this, &TokenField::paste)
        ->setEnabled(formatFrom(QApplication::clipboard()->mimeData()).has_value());
    menu.addAction(tr("&Delete"), this,
                   [this] {
                       removeSelection();
                       changed();
                   })
        ->setEnabled(selection);
    menu.addSeparator();
    menu.addAction(tr("Select &All"), QKeySequence::SelectAll, this, &TokenField::selectAll)
        ->setEnabled(!units_.empty());
    menu.exec(event->globalPos());
}

QSize TokenField::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    QStyleOptionFrame option;
    option.initFrom(this);
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    // Room for a chip's outline above and below the text, and for the default pattern in full.
    const int height = metrics.height() + 2 * kChipPadding + 2;
    return style()->sizeFromContents(QStyle::CT_LineEdit, &option,
                                     QSize(metrics.averageCharWidth() * 60, height), this);
}

QSize TokenField::minimumSizeHint() const {
    return QSize(fontMetrics().averageCharWidth() * 12, sizeHint().height());
}

QRect TokenField::textArea() const {
    QStyleOptionFrame option;
    option.initFrom(this);
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    return style()
        ->subElementRect(QStyle::SE_LineEditContents, &option, this)
        .adjusted(kInnerMargin, 1, -kInnerMargin, -1);
}

std::vector<int> TokenField::boundaries() const {
    const QFontMetrics metrics = fontMetrics();
    std::vector<int> xs{0};
    xs.reserve(units_.size() + 1);
    for (const Unit& unit : units_)
        xs.push_back(xs.back() + (unit.token ? chipWidth(metrics, unit.text)
                                             : metrics.horizontalAdvance(unit.text)));
    return xs;
}

int TokenField::positionAt(int x) const {
    const std::vector<int> xs = boundaries();
    int best = 0;
    for (int i = 1; i < static_cast<int>(xs.size()); ++i)
        if (std::abs(xs[i] - x) < std::abs(xs[best] - x)) best = i;
    return best;
}

int TokenField::unitAt(int x) const {
    const std::vector<int> xs = boundaries();
    for (int i = 0; i + 1 < static_cast<int>(xs.size()); ++i)
        if (x >= xs[i] && x < xs[i + 1]) return i;
    return -1;
}

void TokenField::scrollToCursor() {
    const std::vector<int> xs = boundaries();
    const int width = std::max(1, textArea().width() - 1);
    const int x = xs[cursor_];
    if (x - scroll_ > width) scroll_ = x - width;
    if (x < scroll_) scroll_ = x;
    scroll_ = std::max(0, std::min(scroll_, std::max(0, xs.back() - width)));
}

void TokenField::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, this);
    frame.state |= QStyle::State_Sunken;
    if (hasFocus()) frame.state |= QStyle::State_HasFocus;
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &frame, &painter, this);

    const QRect area = textArea();
    painter.setClipRect(area);
    painter.translate(area.left() - scroll_, area.top());
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics = fontMetrics();
    const int baseline = (area.height() - metrics.height()) / 2 + metrics.ascent();
    const std::vector<int> xs = boundaries();
    const QPalette& colours = palette();

    if (units_.empty()) {
        painter.setPen(colours.color(QPalette::PlaceholderText));
        painter.drawText(0, baseline, tr("Type text or add a song value"));
    }
    for (int i = 0; i < static_cast<int>(units_.size()); ++i) {
        const Unit& unit = units_[i];
        const bool selected = i >= selectionStart() && i < selectionEnd();
        const QRect cell(xs[i], 0, xs[i + 1] - xs[i], area.height());
        if (unit.token) {
            const int inset = std::max(1, (area.height() - metrics.height()) / 2 - 3);
            const QRectF chip = QRectF(cell).adjusted(kChipMargin + 0.5, inset + 0.5,
                                                      -kChipMargin - 0.5, -inset - 0.5);
            QColor fill = colours.color(QPalette::Highlight);
            if (!selected) fill.setAlpha(45);
            painter.setPen(QPen(colours.color(QPalette::Highlight), 1));
            painter.setBrush(fill);
            const qreal radius = chip.height() / 2;
            painter.drawRoundedRect(chip, radius, radius);
            painter.setPen(colours.color(selected ? QPalette::HighlightedText : QPalette::Text));
            painter.drawText(cell.left() + kChipMargin + kChipPadding, baseline, unit.text);
            continue;
        }
        if (selected) painter.fillRect(cell, colours.color(QPalette::Highlight));
        painter.setPen(colours.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(cell.left(), baseline, unit.text);
        if (unit.pending) {  // typed, not yet converted
            painter.setPen(QPen(colours.color(QPalette::Text), 1, Qt::DotLine));
            painter.drawLine(cell.left(), baseline + 2, cell.right(), baseline + 2);
        }
    }
    const int caret = dropPosition_ ? *dropPosition_ : cursor_;
    if (hasFocus() || dropPosition_) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.fillRect(QRect(xs[caret], 1, 1, area.height() - 2), colours.color(QPalette::Text));
    }
}
