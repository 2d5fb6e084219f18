#include "app/AppInstances.h"

#include <QCoreApplication>
#include <QPointer>

#include "support/widgets/dlgAbout.h"
#include "support/widgets/dlgHelp.h"

namespace {
QPointer<TdlgAboutBox> g_about;
QPointer<TdlgHelp> g_help;

// Top-level windows without a parent go with the application.
template <class T>
T* ensure(QPointer<T>& slot)
{
    if (!slot) {
        slot = new T();
        // Left open, they do not keep the program running once the main
        // window has closed.
        slot->setAttribute(Qt::WA_QuitOnClose, false);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, slot.data(), &QObject::deleteLater);
    }
    return slot.data();
}
} // namespace

TdlgAboutBox* dlgAboutBox()
{
    return ensure(g_about);
}

TdlgHelp* dlgHelp()
{
    return ensure(g_help);
}

void createHelpWindows()
{
    ensure(g_about);
    ensure(g_help);
}
