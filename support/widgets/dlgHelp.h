#pragma once
// The help window: a fixed text on installing the program and connecting it
// to a geodata server.
#include <QDialog>

class QPlainTextEdit;
class QWidget;

class TdlgHelp : public QDialog {
    Q_OBJECT
public:
    explicit TdlgHelp(QWidget* parent = nullptr);

    QPlainTextEdit* Memo1 = nullptr; // read-only, holds the help text
};

// The help text: sections whose headings are each underlined by a line of
// asterisks as long as the heading.
QString atlasdeskHelpText();
