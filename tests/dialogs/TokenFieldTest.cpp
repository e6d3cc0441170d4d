#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMimeData>
#include <QTest>

#include "app/WaitFor.h"
#include "dialogs/TokenField.h"

namespace {

using kelvara::FormatList;

// Lists are compared in their stored JSON form, which failures print readably and which tells
// tokens from text and one literal from two.
std::string shown(const FormatList& list) { return list.toJson().dump(); }
FormatList list(const std::string& text) { return FormatList::parse(text).value(); }
std::string pattern(const std::string& text) { return shown(list(text)); }

// Key presses carrying text, for characters QTest has no key code for.
void type(QWidget* widget, const QString& text) {
    for (const char32_t c : text.toUcs4()) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUcs4(&c, 1));
        QApplication::sendEvent(widget, &press);
    }
}

class TokenFieldTest : public testing::Test {
  protected:
    void SetUp() override {
        field.show();
        field.setFocus();
    }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(&field, key, modifiers);
    }
    TokenField field;
};

TEST_F(TokenFieldTest, TypedRunTurnsIntoATokenOnlyAfterTheCompletionDelay) {
    QElapsedTimer clock;
    clock.start();
    QTest::keyClicks(&field, "ti");
    EXPECT_EQ(shown(field.elements()),
              pattern("ti"));  // still text while the user may go on typing
    ASSERT_TRUE(
        kelvara::test::waitFor([&] { return shown(field.elements()) == pattern("<Title>"); }));
    EXPECT_GE(clock.elapsed(), 450);

    // Only the text typed since the token is the run; " - " names nothing and stays text.
    QTest::keyClicks(&field, " - ");
    QTest::qWait(700);
    EXPECT_EQ(shown(field.elements()), pattern("<Title> - "));
    QTest::keyClicks(&field, "A");
    ASSERT_TRUE(kelvara::test::waitFor(
        [&] { return shown(field.elements()) == pattern("<Title> - <Album>"); }));
}

TEST_F(TokenFieldTest, ReturnConvertsAtOnceByTheFirstNameTheRunBegins) {
    const std::vector<std::pair<QString, std::string>> cases = {
        {"a", "<Album>"},
        {"t", "<Track NO>"},
        {"ar", "<Artist>"},
        {"ti", "<Title>"},
        {"D", "<Disk NO>"},
        {"TRACK n", "<Track NO>"},
        {"tí", "<Title>"},     // diacritics do not count
        {"Ä", "<Album>"},      //
        {"titles", "titles"},  // longer than the name: text
        {"🎵 ", "🎵 "},          // beyond the first plane of Unicode
        {"x", "x"}};
    for (const auto& [typed, expected] : cases) {
        field.setElements({});
        type(&field, typed);
        key(Qt::Key_Return);
        EXPECT_EQ(shown(field.elements()), pattern(expected)) << typed.toStdString();
    }
    // Text typed after a literal joins it; a name typed after it is still its own run.
    field.setElements(list("<Title>"));
    QTest::keyClicks(&field, "-x");
    key(Qt::Key_Enter);
    QTest::keyClicks(&field, "a");
    key(Qt::Key_Return);
    EXPECT_EQ(shown(field.elements()), pattern("<Title>-x<Album>"));
    EXPECT_EQ(field.elements().elements().size(), 3u);
}

TEST_F(TokenFieldTest, SlashIsDroppedAsItIsTyped) {
    QTest::keyClicks(&field, "AC/DC");
    EXPECT_EQ(shown(field.elements()), pattern("ACDC"));
    key(Qt::Key_Return);
    QTest::keyClicks(&field, "//");
    EXPECT_EQ(shown(field.elements()), pattern("ACDC"));
}

TEST_F(TokenFieldTest, CursorStepsOverATokenAndDeletionTakesItWhole) {
    field.setElements(FormatList::defaultFormat());
    key(Qt::Key_Backspace);
    EXPECT_EQ(shown(field.elements()), pattern("<Track NO>. <Artist> - <Album> - "));

    field.setElements(FormatList::defaultFormat());
    key(Qt::Key_Left);  // before Title, in one step
    key(Qt::Key_Delete);
    EXPECT_EQ(shown(field.elements()), pattern("<Track NO>. <Artist> - <Album> - "));

    field.setElements(FormatList::defaultFormat());
    key(Qt::Key_Home);
    key(Qt::Key_Right);
    QTest::keyClicks(&field, "#");
    key(Qt::Key_Return);
    EXPECT_EQ(shown(field.elements()), pattern("<Track NO>#. <Artist> - <Album> - <Title>"));

    // Shift extends the selection over the token and the two characters after it.
    key(Qt::Key_Home);
    for (int i = 0; i < 4; ++i) key(Qt::Key_Right, Qt::ShiftModifier);
    key(Qt::Key_Backspace);
    EXPECT_EQ(shown(field.elements()), pattern("<Artist> - <Album> - <Title>"));
    key(Qt::Key_End);
    key(Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClicks(&field, "t");
    key(Qt::Key_Return);  // typing replaces the selected token
    EXPECT_EQ(shown(field.elements()), pattern("<Artist> - <Album> - <Track NO>"));
}

TEST_F(TokenFieldTest, ClicksPlaceTheCursorAndADoubleClickTakesAWholeElement) {
    field.resize(600, field.sizeHint().height());
    field.setElements(list("<Artist> - <Title>"));
    const int middle = field.height() / 2;
    QTest::mouseClick(&field, Qt::LeftButton, {}, QPoint(2, middle));
    QTest::keyClicks(&field, "#");
    key(Qt::Key_Return);
    QTest::mouseClick(&field, Qt::LeftButton, {}, QPoint(field.width() - 3, middle));
    QTest::keyClicks(&field, "!");
    key(Qt::Key_Return);
    EXPECT_EQ(shown(field.elements()), pattern("#<Artist> - <Title>!"));

    // Double-clicking the separator selects all of it, not one character.
    // The frame, "#" and the chip (its name and padding) come before it.
    const QFontMetrics metrics(field.font());
    const int separator = 5 + metrics.horizontalAdvance("#") + metrics.horizontalAdvance("Artist") +
                          16 + metrics.horizontalAdvance(" - ") / 2;
    QTest::mouseDClick(&field, Qt::LeftButton, {}, QPoint(separator, middle));
    key(Qt::Key_Delete);
    EXPECT_EQ(shown(field.elements()), pattern("#<Artist><Title>!"));
}

TEST_F(TokenFieldTest, CopyAndCutWriteTheElementsAndTheirTextForm) {
    field.setElements(FormatList::defaultFormat());
    key(Qt::Key_A, Qt::ControlModifier);
    key(Qt::Key_C, Qt::ControlModifier);
    const QMimeData* copied = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(copied->hasFormat(TokenField::mimeType));
    EXPECT_EQ(copied->data(TokenField::mimeType).toStdString(), shown(FormatList::defaultFormat()));
    EXPECT_EQ(copied->text(), "<Track NO>. <Artist> - <Album> - <Title>");

    key(Qt::Key_Home);
    key(Qt::Key_Right, Qt::ShiftModifier);
    key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(shown(field.elements()), pattern(". <Artist> - <Album> - <Title>"));
    EXPECT_EQ(QApplication::clipboard()->text(), "<Track NO>");
}

TEST_F(TokenFieldTest, PasteTakesElementsOrReadsTokenNamesInPlainText) {
    auto* elements = new QMimeData;
    elements->setData(TokenField::mimeType, R"(["(", {"token": "Disk NO"}, ") "])");
    elements->setText("ignored when the elements are there");
    QApplication::clipboard()->setMimeData(elements);
    field.setElements(list("<Title>"));
    key(Qt::Key_Home);
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(shown(field.elements()), pattern("(<Disk NO>) <Title>"));

    field.setElements({});
    QApplication::clipboard()->setText("<track no> AC/DC - <TITLE>");
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(shown(field.elements()), pattern("<Track NO> ACDC - <Title>"));

    // A name that is no token is kept as the text it is rather than refused.
    field.setElements({});
    QApplication::clipboard()->setText("<Year> <Title>");
    key(Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(field.elements().elements().size(), 1u);
    EXPECT_EQ(std::get<std::string>(field.elements().elements()[0]), "<Year> <Title>");
}

TEST_F(TokenFieldTest, ElementsDroppedFromAnotherProgramLandAtThePointer) {
    field.setElements(list("<Title>"));
    QMimeData data;
    data.setData(TokenField::mimeType, R"([{"token": "Artist"}, " - "])");
    const QPointF left(6, field.height() / 2);
    QDragEnterEvent enter(left.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&field, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(left, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&field, &drop);
    EXPECT_EQ(shown(field.elements()), pattern("<Artist> - <Title>"));
}

}  // namespace
