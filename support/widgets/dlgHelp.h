#pragma once
// The help window: a fixed text on installing the program and connecting it
// to a geodata server, and beside it, on a page of its own, how the main
// window is used.
#include <QDialog>

class QPlainTextEdit;
class QWidget;

class TdlgHelp : public QDialog {
    Q_OBJECT
public:
    explicit TdlgHelp(QWidget* parent = nullptr);

    QPlainTextEdit* Memo1 = nullptr;      // read-only, holds the help text
    QPlainTextEdit* memoWindow = nullptr; // read-only, how the window is used
};

// The help text: sections whose headings are each underlined by a line of
// asterisks as long as the heading.
QString atlasdeskHelpText();

// How the main window is used, in the same form of underlined sections.
QString atlasdeskWindowHelpText();
