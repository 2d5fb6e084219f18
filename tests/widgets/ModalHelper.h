#pragma once
// Answers the next modal dialog: the action runs from the dialog's own event
// loop, once the dialog is showing.
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace widgettest {

template <class Dialog>
void onNextModal(std::function<void(Dialog*)> answer)
{
    QTimer::singleShot(0, qApp, [answer] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<Dialog*>(modal);
        if (!dialog) {
            ADD_FAILURE() << "expected modal " << Dialog::staticMetaObject.className() << ", found "
                          << (modal ? modal->metaObject()->className() : "none");
            // Never leave a test hanging on a dialog nobody answers.
            if (auto* other = qobject_cast<QDialog*>(modal))
                other->reject();
            return;
        }
        answer(dialog);
    });
}

} // namespace widgettest
