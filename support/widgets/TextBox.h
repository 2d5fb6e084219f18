#pragma once
// A text window in a fixed-pitch font with search, red marking of a word,
// word wrap and editing switches, and OK/Cancel buttons for modal editing.
#include <QDialog>
#include <QString>

class QAction;
class QMenu;
class QMenuBar;
class QPushButton;
class QTextEdit;
class QWidget;

class TTextBox : public QDialog {
    Q_OBJECT
public:
    explicit TTextBox(QWidget* parent = nullptr);

    // The text that Find next and Mark look for; empty at creation.
    QString searchText() const { return m_searchText; }
    void setSearchText(const QString& text) { m_searchText = text; }

    // Whether panButtons shows; false at creation. Setting it applies it.
    bool showButtons() const { return m_showButtons; }
    void setShowButtons(bool show);

    QMenuBar* ActionMainMenuBar1 = nullptr;
    QAction* acSave = nullptr;
    QAction* acSaveAs = nullptr;
    QAction* acFind = nullptr;
    QAction* acFindNext = nullptr;
    QAction* acMark = nullptr;
    QAction* acWordWrap = nullptr;
    QAction* acEditable = nullptr;
    QTextEdit* Memo = nullptr;
    QWidget* panButtons = nullptr;
    QPushButton* btOK = nullptr;
    QPushButton* btCancel = nullptr;

public slots:
    // Puts the text area in plain-text mode; writes no file.
    void acSaveExecute();
    // Asks for a file name; on confirmation names the window after it and saves.
    void acSaveAsExecute();
    // Asks the shared find dialog for the search text (a cancel empties it),
    // then finds the next occurrence.
    void acFindExecute();
    // Selects the next occurrence of the search text after the selection, or
    // collapses the selection to its start when there is none.
    void acFindNextExecute();
    // Asks for a search text and colours every occurrence red.
    void acMarkExecute();
    // Flips word wrap (check mark of acWordWrap and the text area together).
    void acWordWrapExecute();
    // Flips editing: plain-text and writable when checked, read-only otherwise.
    void acEditableExecute();

private:
    // Steps 2 to 4 of Find next; true when an occurrence was selected.
    bool selectNextOccurrence();
    void applyShowButtons();

    QString m_searchText;
    bool m_showButtons = false;
};

// Opens a new application-owned TTextBox titled `title` with OK and Cancel
// showing `text`, modally. Whichever way it closes, `text` receives the text
// as it stood then; returns QDialog::Accepted for OK, Rejected otherwise.
int EditTextInBox(const QString& title, QString& text);
