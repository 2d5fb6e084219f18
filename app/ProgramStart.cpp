#include "app/ProgramStart.h"

#include <QApplication>
#include <QTimer>
#include <string>

#include "app/Accessibility.h"
#include "app/AppInstances.h"
#include "app/CategoryIcons.h"
#include "app/dlgAtlasdeskU.h"
#include "catalogue/dmAtlasdeskU.h"
#include "support/TerminationSignals.h"
#include "support/widgets/FindBox.h"

int runProgram(int argc, char* argv[], const std::function<void(QWidget&)>& beforeShow)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    enableWebAccessibility();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Atlasdesk"));
    QApplication::setApplicationDisplayName(QStringLiteral("Atlasdesk"));
    QApplication::setWindowIcon(applicationIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("atlasdesk"));

    // The toolkit has taken its own options out of argv; the folder is kept
    // as bytes, so a name that is not UTF-8 still reaches the file system.
    const std::string folder = TdlgAtlasdesk::StartFolder(argc, argv);

    // The end of a desktop session (SIGTERM) and Ctrl+C in a terminal close
    // the window as its close box does: the state is written, the program
    // ends with 0. Quit also leaves the loops of dialogs that are open. One
    // that comes while the window is being made (its start-up lets events
    // through) ends the program as soon as it is made, before it has read
    // or changed anything worth writing.
    TdlgAtlasdesk* mainWindow = nullptr;
    bool endedEarly = false;
    TerminationSignals termination([&mainWindow, &endedEarly](int) {
        if (!mainWindow)
            endedEarly = true;
        else if (mainWindow->close())
            QCoreApplication::quit();
    });

    dlgFind(); // the one find box, shared by every text window
    TdmAtlasdesk dmAtlasdesk;
    TdlgAtlasdesk dlgAtlasdesk(&dmAtlasdesk);
    if (endedEarly)
        return 0;
    mainWindow = &dlgAtlasdesk;
    createHelpWindows();
    dlgAtlasdesk.RestoreSettings();
    if (beforeShow)
        beforeShow(dlgAtlasdesk);
    dlgAtlasdesk.show();
    // Once the window is up, so a slow or missing server never holds it back.
    QTimer::singleShot(0, &dlgAtlasdesk, [&dlgAtlasdesk, folder] { dlgAtlasdesk.StartOn(folder); });
    return app.exec();
}
