#include "support/widgets/TextBox.h"

#include "support/widgets/FindBox.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

QAction* makeAction(QWidget* owner, const char* name, const QString& caption, const QKeySequence& shortcut)
{
    auto* action = new QAction(caption, owner);
    action->setObjectName(name);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    // The shortcuts work while the text area has the focus, menu bar or not.
    owner->addAction(action);
    return action;
}

QFont memoFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QString fallback = font.family();
    font.setFamilies({"Courier New", fallback});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(11);
    return font;
}

} // namespace

TTextBox::TTextBox(QWidget* parent) : QDialog(parent)
{
    setObjectName("TextBox");
    setWindowTitle("Text");
    setSizeGripEnabled(true);
    resize(600, 450);

    acSave = makeAction(this, "acSave", "&Save", QKeySequence(Qt::CTRL | Qt::Key_S));
    acSaveAs = makeAction(this, "acSaveAs", "Save &as...", QKeySequence());
    acFind = makeAction(this, "acFind", "&Find...", QKeySequence(Qt::CTRL | Qt::Key_F));
    acFindNext = makeAction(this, "acFindNext", "Find ne&xt", QKeySequence(Qt::Key_F3));
    acMark = makeAction(this, "acMark", "&Mark...", QKeySequence(Qt::CTRL | Qt::Key_M));
    acWordWrap = makeAction(this, "acWordWrap", "&Word wrap", QKeySequence(Qt::CTRL | Qt::Key_W));
    acEditable = makeAction(this, "acEditable", "&Editable", QKeySequence(Qt::CTRL | Qt::Key_E));
    acWordWrap->setCheckable(true);
    acWordWrap->setChecked(true);
    acEditable->setCheckable(true);
    acEditable->setChecked(true);

    ActionMainMenuBar1 = new QMenuBar(this);
    ActionMainMenuBar1->setObjectName("ActionMainMenuBar1");
    QMenu* file = ActionMainMenuBar1->addMenu("&File");
    file->addAction(acSave);
    file->addAction(acSaveAs);
    QMenu* edit = ActionMainMenuBar1->addMenu("&Edit");
    edit->addAction(acFind);
    edit->addAction(acFindNext);
    edit->addAction(acMark);
    QMenu* format = ActionMainMenuBar1->addMenu("F&ormat");
    format->addAction(acWordWrap);
    format->addAction(acEditable);

    Memo = new QTextEdit(this);
    Memo->setObjectName("Memo");
    Memo->setFont(memoFont());
    Memo->setLineWrapMode(QTextEdit::WidgetWidth);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    panButtons = new QWidget(this);
    panButtons->setObjectName("panButtons");
    btOK = new QPushButton("OK", panButtons);
    btOK->setObjectName("btOK");
    btOK->setDefault(true);
    btCancel = new QPushButton("Cancel", panButtons);
    btCancel->setObjectName("btCancel");
    btCancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout(panButtons);
    buttons->addStretch(1);
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(ActionMainMenuBar1);
    layout->addWidget(Memo, 1);
    layout->addWidget(panButtons);

    connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(acSave, &QAction::triggered, this, &TTextBox::acSaveExecute);
    connect(acSaveAs, &QAction::triggered, this, &TTextBox::acSaveAsExecute);
    connect(acFind, &QAction::triggered, this, &TTextBox::acFindExecute);
    connect(acFindNext, &QAction::triggered, this, &TTextBox::acFindNextExecute);
    connect(acMark, &QAction::triggered, this, &TTextBox::acMarkExecute);
    // Triggering a checkable action already flips its check mark; the handlers
    // flip it themselves, so it is flipped back first.
    connect(acWordWrap, &QAction::triggered, this, [this] {
        acWordWrap->setChecked(!acWordWrap->isChecked());
        acWordWrapExecute();
    });
    connect(acEditable, &QAction::triggered, this, [this] {
        acEditable->setChecked(!acEditable->isChecked());
        acEditableExecute();
    });

    applyShowButtons();
}

void TTextBox::setShowButtons(bool show)
{
    m_showButtons = show;
    applyShowButtons();
}

void TTextBox::applyShowButtons()
{
    panButtons->setVisible(m_showButtons);
    Memo->viewport()->update();
}

void TTextBox::acSaveExecute()
{
    Memo->setAcceptRichText(false);
}

void TTextBox::acSaveAsExecute()
{
    const QString name = QFileDialog::getSaveFileName(this);
    if (name.isEmpty())
        return;
    setWindowTitle(QFileInfo(name).fileName());
    acSaveExecute();
}

void TTextBox::acFindExecute()
{
    m_searchText = dlgFind()->askForText();
    acFindNextExecute();
}

void TTextBox::acFindNextExecute()
{
    selectNextOccurrence();
}

bool TTextBox::selectNextOccurrence()
{
    if (m_searchText.isEmpty())
        return false;
    QTextCursor cursor = Memo->textCursor();
    const int selStart = cursor.selectionStart();
    const int restStart = cursor.selectionEnd();
    // Plain text and cursor positions count the same characters (a paragraph
    // break is one character in both).
    const int found = Memo->toPlainText().indexOf(m_searchText, restStart, Qt::CaseSensitive);
    if (found < 0) {
        cursor.setPosition(selStart);
        Memo->setTextCursor(cursor);
        return false;
    }
    cursor.setPosition(found);
    cursor.setPosition(found + int(m_searchText.size()), QTextCursor::KeepAnchor);
    Memo->setTextCursor(cursor);
    return true;
}

void TTextBox::acMarkExecute()
{
    m_searchText = dlgFind()->askForText();
    if (m_searchText.isEmpty())
        return;
    QTextCursor cursor = Memo->textCursor();
    cursor.setPosition(0);
    Memo->setTextCursor(cursor);

    QTextCharFormat red;
    red.setForeground(QColor(255, 0, 0));
    while (selectNextOccurrence()) {
        QTextCursor occurrence = Memo->textCursor();
        occurrence.mergeCharFormat(red);
    }
}

void TTextBox::acWordWrapExecute()
{
    acWordWrap->setChecked(!acWordWrap->isChecked());
    const bool wrap = acWordWrap->isChecked();
    Memo->setLineWrapMode(wrap ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
    Memo->setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    applyShowButtons();
}

void TTextBox::acEditableExecute()
{
    acEditable->setChecked(!acEditable->isChecked());
    const bool editable = acEditable->isChecked();
    Memo->setAcceptRichText(!editable);
    Memo->setReadOnly(!editable);
    applyShowButtons();
    update();
}

int EditTextInBox(const QString& title, QString& text)
{
    auto* box = new TTextBox;
    keepUntilApplicationQuits(box);
    box->setWindowTitle(title);
    box->setShowButtons(true);
    box->Memo->setPlainText(text);
    const int result = box->exec();
    text = box->Memo->toPlainText();
    return result == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}
