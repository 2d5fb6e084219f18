#pragma once
// The shared "Find" dialog that asks text windows for a search text and
// remembers every text searched during the run.
#include <QDialog>
#include <QString>

class QComboBox;
class QPushButton;
class QWidget;

class TdlgFind : public QDialog {
    Q_OBJECT
public:
    explicit TdlgFind(QWidget* parent = nullptr);

    // Shows the dialog modally. Returns the text of cbFind when the user
    // confirms with btFind, the empty string otherwise.
    QString askForText();

    QComboBox* cbFind = nullptr;   // editable; its list is the search history, newest first
    QPushButton* btFind = nullptr; // "&Find next", default button, confirms
    QPushButton* BitBtn1 = nullptr; // "Cancel"

public slots:
    // Puts a non-empty text of cbFind at the top of the history (duplicates kept).
    void btFindClick();
};

// The one find dialog of the program, created on first call (start-up calls
// it once so the dialog exists from the beginning) and owned by the
// application until it quits.
TdlgFind* dlgFind();

// Makes `window` (a top-level widget without parent) belong to the
// application: it is deleted when the application quits, never earlier.
void keepUntilApplicationQuits(QWidget* window);
