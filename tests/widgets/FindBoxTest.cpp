#include "support/widgets/FindBox.h"
#include "ModalHelper.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

using widgettest::onNextModal;

enum class Close { Find, Cancel, Return };

// Types `text` into the next find dialog and closes it the given way.
void answerFind(const QString& text, Close how)
{
    onNextModal<TdlgFind>([text, how](TdlgFind* dialog) {
        dialog->cbFind->setEditText(text);
        switch (how) {
        case Close::Find:
            dialog->btFind->click();
            break;
        case Close::Cancel:
            dialog->BitBtn1->click();
            break;
        case Close::Return: {
            // Enter goes to the edit field, which passes it on to the default button.
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(dialog->cbFind->lineEdit(), &press);
            if (dialog->isVisible()) {
                ADD_FAILURE() << "Return did not close the find dialog";
                dialog->reject();
            }
            break;
        }
        }
    });
}

QStringList history(const TdlgFind& dialog)
{
    QStringList items;
    for (int i = 0; i < dialog.cbFind->count(); ++i)
        items << dialog.cbFind->itemText(i);
    return items;
}

TEST(FindBox, DesignOfTheDialog)
{
    TdlgFind dialog;
    EXPECT_EQ(dialog.windowTitle(), "Find");
    EXPECT_TRUE(dialog.cbFind->isEditable());
    EXPECT_EQ(dialog.btFind->text(), "&Find next");
    EXPECT_TRUE(dialog.btFind->isDefault());
    EXPECT_EQ(dialog.BitBtn1->text(), "Cancel");
    EXPECT_EQ(dialog.cbFind->count(), 0);

    // Fixed size: the layout pins the dialog to its size hint.
    dialog.adjustSize();
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());

    for (const char* name : {"cbFind", "btFind", "BitBtn1"})
        EXPECT_NE(dialog.findChild<QObject*>(name), nullptr) << name;
}

TEST(FindBox, AnswersAndHistory)
{
    struct Step {
        QString typed;
        Close how;
        QString answer;
        QStringList historyAfter; // top first
    };
    const Step steps[] = {
        {"alpha", Close::Find, "alpha", {"alpha"}},
        {"beta", Close::Find, "beta", {"beta", "alpha"}},
        {"gamma", Close::Cancel, "", {"beta", "alpha"}},
        {"", Close::Find, "", {"beta", "alpha"}},
        {"alpha", Close::Find, "alpha", {"alpha", "beta", "alpha"}},
        {"Alpha beta", Close::Return, "Alpha beta", {"Alpha beta", "alpha", "beta", "alpha"}},
        {"beta", Close::Return, "beta", {"beta", "Alpha beta", "alpha", "beta", "alpha"}},
    };
    TdlgFind dialog;
    int n = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "step " << n++ << " '" << step.typed.toStdString() << "'");
        answerFind(step.typed, step.how);
        EXPECT_EQ(dialog.askForText(), step.answer);
        EXPECT_EQ(history(dialog), step.historyAfter);
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST(FindBox, OneSharedDialog)
{
    TdlgFind* shared = dlgFind();
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(dlgFind(), shared);
    EXPECT_EQ(shared->parent(), nullptr);
    EXPECT_EQ(shared->objectName(), "dlgFind");
}

} // namespace
