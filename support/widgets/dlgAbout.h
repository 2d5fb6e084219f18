#pragma once
// The About box: program name, edition and version, with the logo and credits.
#include <QDialog>
#include <QPixmap>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;

class TdlgAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TdlgAboutBox(QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblEdition = nullptr;
    QLabel* lblVersion = nullptr;
    QPlainTextEdit* memCredits = nullptr;
    QPushButton* btOK = nullptr;

    // Sets the edition, version and title captions from the program's version.
    void FormCreate();
};

// The program's logo, 128 x 128 device-independent pixels, drawn for the
// given device pixel ratio.
QPixmap atlasdeskLogo(qreal devicePixelRatio);
