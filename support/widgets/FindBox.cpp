#include "support/widgets/FindBox.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <vector>

TdlgFind::TdlgFind(QWidget* parent) : QDialog(parent)
{
    setObjectName("dlgFind");
    setWindowTitle("Find");

    cbFind = new QComboBox(this);
    cbFind->setObjectName("cbFind");
    cbFind->setEditable(true);
    // Only btFindClick adds to the history; Enter in the edit must not add a
    // second copy before the default button runs.
    cbFind->setInsertPolicy(QComboBox::NoInsert);
    cbFind->setMinimumWidth(260);

    btFind = new QPushButton("&Find next", this);
    btFind->setObjectName("btFind");
    btFind->setDefault(true);
    btFind->setAutoDefault(true);

    BitBtn1 = new QPushButton("Cancel", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btFind);
    buttons->addWidget(BitBtn1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cbFind);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The history entry goes in before the dialog closes, as with an OK button
    // whose click handler runs first.
    connect(btFind, &QPushButton::clicked, this, [this] {
        btFindClick();
        accept();
    });
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
}

void TdlgFind::btFindClick()
{
    const QString text = cbFind->currentText();
    if (text.isEmpty())
        return;
    cbFind->insertItem(0, text);
    // Inserting above the current item moves the current index, which may
    // rewrite the edit field; the user's text stays what was typed.
    cbFind->setCurrentIndex(0);
    cbFind->setEditText(text);
}

QString TdlgFind::askForText()
{
    cbFind->setFocus();
    if (exec() != QDialog::Accepted)
        return {};
    return cbFind->currentText();
}

namespace {

// Top-level windows that belong to the application. They are deleted when
// the event loop has ended, while the windowing system is still there.
std::vector<QPointer<QWidget>>& applicationWindows()
{
    static std::vector<QPointer<QWidget>> windows;
    return windows;
}

void releaseApplicationWindows()
{
    auto& windows = applicationWindows();
    std::vector<QPointer<QWidget>> doomed;
    doomed.swap(windows);
    for (auto it = doomed.rbegin(); it != doomed.rend(); ++it)
        delete it->data();
}

QPointer<TdlgFind>& sharedFindDialog()
{
    static QPointer<TdlgFind> dialog;
    return dialog;
}

} // namespace

void keepUntilApplicationQuits(QWidget* window)
{
    if (!window)
        return;
    static QPointer<QCoreApplication> watched;
    if (watched != QCoreApplication::instance()) {
        watched = QCoreApplication::instance();
        QObject::connect(watched, &QCoreApplication::aboutToQuit, watched, &releaseApplicationWindows);
    }
    applicationWindows().emplace_back(window);
}

TdlgFind* dlgFind()
{
    auto& dialog = sharedFindDialog();
    if (!dialog) {
        dialog = new TdlgFind;
        keepUntilApplicationQuits(dialog);
    }
    return dialog;
}
