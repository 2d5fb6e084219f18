#include "app/CommandGuard.h"

#include <QApplication>
#include <QMessageBox>

namespace {
std::function<void(const QString&)> g_hook;
}

QString errorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void showErrorBox(QWidget* parent, const QString& message)
{
    const QString text = errorBoxText(message);
    if (g_hook) {
        g_hook(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Atlasdesk"), text,
                    QMessageBox::Ok, parent);
    box.exec();
}

void setErrorBoxHook(std::function<void(const QString&)> hook)
{
    g_hook = std::move(hook);
}
