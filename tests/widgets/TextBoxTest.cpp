#include "support/widgets/FindBox.h"
#include "ModalHelper.h"
#include "support/widgets/TextBox.h"
#include "TestUtil.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

namespace {

using widgettest::onNextModal;

using Selection = std::pair<int, int>; // start, length

Selection selection(const TTextBox& box)
{
    const QTextCursor c = box.Memo->textCursor();
    return {c.selectionStart(), c.selectionEnd() - c.selectionStart()};
}

void select(TTextBox& box, Selection s)
{
    QTextCursor c = box.Memo->textCursor();
    c.setPosition(s.first);
    c.setPosition(s.first + s.second, QTextCursor::KeepAnchor);
    box.Memo->setTextCursor(c);
}

// Answers the next shared find dialog with `text`, confirmed or cancelled.
void answerFind(const QString& text, bool confirm)
{
    onNextModal<TdlgFind>([text, confirm](TdlgFind* dialog) {
        dialog->cbFind->setEditText(text);
        (confirm ? dialog->btFind : dialog->BitBtn1)->click();
    });
}

// Positions of the characters drawn in pure red.
std::set<int> redPositions(const TTextBox& box)
{
    std::set<int> red;
    for (QTextBlock block = box.Memo->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat f = fragment.charFormat();
            if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().color() == QColor(255, 0, 0))
                for (int i = 0; i < fragment.length(); ++i)
                    red.insert(fragment.position() + i);
        }
    }
    return red;
}

// ---- Design ----

TEST(TextBox, InitialState)
{
    TTextBox box;
    EXPECT_EQ(box.windowTitle(), "Text");
    EXPECT_TRUE(box.searchText().isEmpty());
    EXPECT_FALSE(box.showButtons());
    EXPECT_TRUE(box.panButtons->isHidden());
    EXPECT_TRUE(box.acWordWrap->isChecked());
    EXPECT_TRUE(box.acEditable->isChecked());
    EXPECT_EQ(box.Memo->lineWrapMode(), QTextEdit::WidgetWidth);
    EXPECT_FALSE(box.Memo->isReadOnly());
    EXPECT_EQ(box.Memo->font().pixelSize(), 11);
    EXPECT_TRUE(box.Memo->font().families().contains("Courier New"));
    EXPECT_TRUE(box.btOK->isDefault());
    EXPECT_EQ(box.btOK->parentWidget(), box.panButtons);
    EXPECT_EQ(box.btCancel->parentWidget(), box.panButtons);
}

TEST(TextBox, ObjectNames)
{
    TTextBox box;
    for (const char* name : {"ActionMainMenuBar1", "acSave", "acSaveAs", "acFind", "acFindNext", "acMark",
                             "acWordWrap", "acEditable", "Memo", "panButtons", "btOK", "btCancel"})
        EXPECT_NE(box.findChild<QObject*>(name), nullptr) << name;
}

TEST(TextBox, MenusCaptionsAndShortcuts)
{
    TTextBox box;
    struct Entry {
        QString caption;
        QKeySequence shortcut;
        bool checkable;
    };
    const std::vector<std::pair<QString, std::vector<Entry>>> expected = {
        {"&File", {{"&Save", QKeySequence("Ctrl+S"), false}, {"Save &as...", QKeySequence(), false}}},
        {"&Edit",
         {{"&Find...", QKeySequence("Ctrl+F"), false},
          {"Find ne&xt", QKeySequence("F3"), false},
          {"&Mark...", QKeySequence("Ctrl+M"), false}}},
        {"F&ormat", {{"&Word wrap", QKeySequence("Ctrl+W"), true}, {"&Editable", QKeySequence("Ctrl+E"), true}}},
    };
    const QList<QAction*> menus = box.ActionMainMenuBar1->actions();
    ASSERT_EQ(menus.size(), qsizetype(expected.size()));
    for (size_t m = 0; m < expected.size(); ++m) {
        SCOPED_TRACE(expected[m].first.toStdString());
        EXPECT_EQ(menus[m]->text(), expected[m].first);
        ASSERT_NE(menus[m]->menu(), nullptr);
        const QList<QAction*> items = menus[m]->menu()->actions();
        ASSERT_EQ(items.size(), qsizetype(expected[m].second.size()));
        for (qsizetype i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i]->text(), expected[m].second[size_t(i)].caption);
            EXPECT_EQ(items[i]->shortcut(), expected[m].second[size_t(i)].shortcut) << items[i]->text().toStdString();
            EXPECT_EQ(items[i]->isCheckable(), expected[m].second[size_t(i)].checkable);
        }
    }
}

// ---- Find next ----

TEST(TextBox, FindNextSequences)
{
    struct Case {
        const char* name;
        QString text;
        QString search;
        Selection start;
        std::vector<Selection> afterEachF3;
    };
    const Case cases[] = {
        {"walks through and collapses on the last one", "abc abc abc", "abc", {0, 0},
         {{0, 3}, {4, 3}, {8, 3}, {8, 0}, {8, 3}, {8, 0}}},
        {"starts after the selection", "aaaa", "a", {1, 2}, {{3, 1}, {3, 0}, {3, 1}}},
        {"starts after the caret", "xx needle xx needle", "needle", {5, 0}, {{13, 6}, {13, 0}}},
        {"case-sensitive", "Word word WORD", "word", {0, 0}, {{5, 4}, {5, 0}}},
        {"across lines", "first line\nsecond line\nthird", "line", {0, 0}, {{6, 4}, {18, 4}, {18, 0}}},
        {"absent text keeps the caret", "nothing here", "zz", {4, 3}, {{4, 0}, {4, 0}}},
        {"empty search text does nothing", "abc abc", "", {2, 3}, {{2, 3}, {2, 3}}},
        {"non-ASCII text", "\u00e9t\u00e9 \u00e9t\u00e9", "t\u00e9", {0, 0}, {{1, 2}, {5, 2}, {5, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TTextBox box;
        box.Memo->setPlainText(c.text);
        box.setSearchText(c.search);
        select(box, c.start);
        int press = 0;
        for (const Selection& expected : c.afterEachF3) {
            box.acFindNext->trigger();
            EXPECT_EQ(selection(box), expected) << "after F3 #" << ++press;
        }
    }
}

TEST(TextBox, FindAsksTheSharedDialog)
{
    TTextBox box;
    box.Memo->setPlainText("one two one two");

    answerFind("two", true);
    box.acFind->trigger();
    EXPECT_EQ(box.searchText(), "two");
    EXPECT_EQ(selection(box), Selection(4, 3));
    EXPECT_EQ(dlgFind()->cbFind->itemText(0), "two");

    box.acFindNext->trigger();
    EXPECT_EQ(selection(box), Selection(12, 3));

    // Cancelling clears the search text, so F3 no longer moves anything.
    answerFind("one", false);
    box.acFind->trigger();
    EXPECT_TRUE(box.searchText().isEmpty());
    EXPECT_EQ(selection(box), Selection(12, 3));
    select(box, {2, 0});
    box.acFindNext->trigger();
    EXPECT_EQ(selection(box), Selection(2, 0));
}

TEST(TextBox, HistoryIsSharedByAllWindows)
{
    TTextBox first;
    TTextBox second;
    first.Memo->setPlainText("shared");
    second.Memo->setPlainText("shared");

    answerFind("shar", true);
    first.acFind->trigger();
    const int before = dlgFind()->cbFind->count();

    // The second window's dialog already lists the first window's search.
    QString seenOnTop;
    onNextModal<TdlgFind>([&seenOnTop](TdlgFind* dialog) {
        seenOnTop = dialog->cbFind->itemText(0);
        dialog->cbFind->setEditText("red");
        dialog->btFind->click();
    });
    second.acFind->trigger();
    EXPECT_EQ(seenOnTop, "shar");
    EXPECT_EQ(dlgFind()->cbFind->count(), before + 1);
    EXPECT_EQ(dlgFind()->cbFind->itemText(0), "red");
    EXPECT_EQ(dlgFind()->cbFind->itemText(1), "shar");
    EXPECT_EQ(first.searchText(), "shar");
    EXPECT_EQ(second.searchText(), "red");
}

// ---- Mark ----

TEST(TextBox, MarkColoursEveryOccurrence)
{
    struct Case {
        const char* name;
        QString text;
        QString search;
        std::set<int> red;
        Selection after;
    };
    const Case cases[] = {
        {"one character", "a-b-a-c-a", "a", {0, 4, 8}, {8, 0}},
        {"word", "abcabc", "bc", {1, 2, 4, 5}, {4, 0}},
        {"no overlap, even count", "aaaa", "aa", {0, 1, 2, 3}, {2, 0}},
        {"no overlap, odd count", "aaa", "aa", {0, 1}, {0, 0}},
        {"case-sensitive", "Mark mark MARK", "mark", {5, 6, 7, 8}, {5, 0}},
        {"across lines", "x\ny\nx", "x", {0, 4}, {4, 0}},
        {"absent text", "nothing to see", "zz", {}, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TTextBox box;
        box.Memo->setPlainText(c.text);
        select(box, {1, 1});
        answerFind(c.search, true);
        box.acMark->trigger();
        EXPECT_EQ(box.searchText(), c.search);
        EXPECT_EQ(redPositions(box), c.red);
        EXPECT_EQ(selection(box), c.after);
        EXPECT_EQ(box.Memo->toPlainText(), c.text);
    }
}

TEST(TextBox, MarkCancelledChangesNothing)
{
    TTextBox box;
    box.Memo->setPlainText("abc abc");
    box.setSearchText("abc");
    select(box, {5, 1});
    answerFind("abc", false);
    box.acMark->trigger();
    EXPECT_TRUE(box.searchText().isEmpty());
    EXPECT_EQ(selection(box), Selection(5, 1));
    EXPECT_TRUE(redPositions(box).empty());
}

TEST(TextBox, MarkAgainAddsToTheColouring)
{
    TTextBox box;
    box.Memo->setPlainText("cat dog cat");
    answerFind("cat", true);
    box.acMark->trigger();
    answerFind("dog", true);
    box.acMark->trigger();
    std::set<int> all;
    for (int i = 0; i < 11; ++i)
        if (i != 3 && i != 7)
            all.insert(i);
    EXPECT_EQ(redPositions(box), all);
    box.Memo->setPlainText("cat dog cat");
    EXPECT_TRUE(redPositions(box).empty());
}

// ---- Format switches, buttons, save ----

TEST(TextBox, WordWrapAndEditableSwitches)
{
    TTextBox box;
    box.setShowButtons(true);

    box.acWordWrap->trigger();
    EXPECT_FALSE(box.acWordWrap->isChecked());
    EXPECT_EQ(box.Memo->lineWrapMode(), QTextEdit::NoWrap);
    EXPECT_EQ(box.Memo->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    EXPECT_EQ(box.Memo->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    EXPECT_FALSE(box.panButtons->isHidden());
    box.acWordWrap->trigger();
    EXPECT_TRUE(box.acWordWrap->isChecked());
    EXPECT_EQ(box.Memo->lineWrapMode(), QTextEdit::WidgetWidth);
    EXPECT_EQ(box.Memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    // Unchecked: read-only and rich text; checked again: writable plain text.
    box.acEditable->trigger();
    EXPECT_FALSE(box.acEditable->isChecked());
    EXPECT_TRUE(box.Memo->isReadOnly());
    EXPECT_TRUE(box.Memo->acceptRichText());
    EXPECT_FALSE(box.panButtons->isHidden());
    box.acEditable->trigger();
    EXPECT_TRUE(box.acEditable->isChecked());
    EXPECT_FALSE(box.Memo->isReadOnly());
    EXPECT_FALSE(box.Memo->acceptRichText());

    // Calling a handler directly flips once, like the menu entry.
    box.acWordWrapExecute();
    EXPECT_FALSE(box.acWordWrap->isChecked());
    EXPECT_EQ(box.Memo->lineWrapMode(), QTextEdit::NoWrap);
}

TEST(TextBox, ShowButtonsFlag)
{
    TTextBox box;
    for (bool show : {true, false, true}) {
        box.setShowButtons(show);
        EXPECT_EQ(box.showButtons(), show);
        EXPECT_EQ(box.panButtons->isHidden(), !show);
    }
    box.setShowButtons(false);
    box.acEditable->trigger();
    box.acWordWrap->trigger();
    EXPECT_TRUE(box.panButtons->isHidden());
}

TEST(TextBox, SaveOnlySwitchesToPlainText)
{
    TTextBox box;
    box.Memo->setPlainText("keep me");
    ASSERT_TRUE(box.Memo->acceptRichText());
    box.acSave->trigger();
    EXPECT_FALSE(box.Memo->acceptRichText());
    EXPECT_EQ(box.Memo->toPlainText(), "keep me");
}

TEST(TextBox, SaveAsRenamesTheWindowOnly)
{
    testutil::TempDir dir;
    const QString target = QString::fromStdString(dir / "notes.txt");

    TTextBox box;
    box.setWindowTitle("Before");
    onNextModal<QFileDialog>([](QFileDialog* picker) { picker->reject(); });
    box.acSaveAs->trigger();
    EXPECT_EQ(box.windowTitle(), "Before");
    EXPECT_TRUE(box.Memo->acceptRichText());

    onNextModal<QFileDialog>([target](QFileDialog* picker) {
        picker->selectFile(target);
        // Through QDialog: the picker's own accept() checks the chosen name.
        static_cast<QDialog*>(picker)->accept();
    });
    box.acSaveAs->trigger();
    EXPECT_EQ(box.windowTitle(), "notes.txt");
    EXPECT_FALSE(box.Memo->acceptRichText());
    EXPECT_FALSE(testutil::exists(target.toStdString()));
}

// ---- EditTextInBox ----

TEST(TextBox, EditTextInBoxHandsBackTheText)
{
    enum class Close { OK, Cancel, CloseBox };
    struct Case {
        const char* name;
        Close how;
        int result;
    };
    const Case cases[] = {
        {"OK", Close::OK, QDialog::Accepted},
        {"Cancel", Close::Cancel, QDialog::Rejected},
        {"close box", Close::CloseBox, QDialog::Rejected},
    };
    std::vector<QPointer<TTextBox>> windows;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QPointer<TTextBox> seen;
        QString shownText;
        bool buttonsShown = false;
        onNextModal<TTextBox>([&, how = c.how](TTextBox* box) {
            seen = box;
            shownText = box->Memo->toPlainText();
            buttonsShown = box->panButtons->isVisible();
            box->Memo->setPlainText("edited\nin the box");
            switch (how) {
            case Close::OK:
                box->btOK->click();
                break;
            case Close::Cancel:
                box->btCancel->click();
                break;
            case Close::CloseBox:
                box->close();
                break;
            }
        });
        QString text = "original\ntext";
        const int result = EditTextInBox("ProductName", text);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(text, "edited\nin the box");
        EXPECT_EQ(shownText, "original\ntext");
        EXPECT_TRUE(buttonsShown);
        ASSERT_FALSE(seen.isNull()) << "the window must outlive the call";
        EXPECT_EQ(seen->windowTitle(), "ProductName");
        EXPECT_FALSE(seen->isVisible());
        EXPECT_EQ(seen->parent(), nullptr);
        windows.push_back(seen);
    }
    // Each call made its own window.
    EXPECT_NE(windows[0], windows[1]);
    EXPECT_NE(windows[1], windows[2]);
}

TEST(TextBox, EditTextInBoxUntouchedText)
{
    onNextModal<TTextBox>([](TTextBox* box) { box->btOK->click(); });
    QString text;
    EXPECT_EQ(EditTextInBox("RightType", text), QDialog::Accepted);
    EXPECT_TRUE(text.isEmpty());
}

} // namespace
