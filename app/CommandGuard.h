#pragma once
// The one error boundary of the program: every command of the main window
// runs through runCommand, which shows an escaping error in the modal box
// titled "Atlasdesk" and lets the program continue. No exception ever
// crosses the Qt event loop.
#include <QString>
#include <exception>
#include <functional>
#include <utility>

class QWidget;

// The text the error box shows: the message, with "." appended when its
// last character sorts after ".".
QString errorBoxText(const QString& message);
// Shows the modal error box (or hands the text to the test hook when set).
void showErrorBox(QWidget* parent, const QString& message);
// Tests may capture error boxes instead of closing modal dialogs.
void setErrorBoxHook(std::function<void(const QString&)> hook);

// Runs `command`; an exception ends it and is shown. True when it completed.
template <class F>
bool runCommand(QWidget* parent, F&& command)
{
    try {
        std::forward<F>(command)();
        return true;
    } catch (const std::exception& e) {
        showErrorBox(parent, QString::fromUtf8(e.what()));
    } catch (...) {
        showErrorBox(parent, QStringLiteral("Unknown error"));
    }
    return false;
}
