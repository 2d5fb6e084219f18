// Program entry: the data module first, then the main window, then the
// About box and the help window; the message loop runs until the main
// window closes.
#include <QApplication>

#include "AppInstances.h"
#include "FindBox.h"
#include "CategoryIcons.h"
#include "dlgAtlasdeskU.h"
#include "dmAtlasdeskU.h"

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Atlasdesk"));
    QApplication::setApplicationDisplayName(QStringLiteral("Atlasdesk"));
    QApplication::setWindowIcon(applicationIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("atlasdesk"));

    dlgFind(); // the one find box, shared by every text window
    TdmAtlasdesk dmAtlasdesk;
    TdlgAtlasdesk dlgAtlasdesk(&dmAtlasdesk);
    createHelpWindows();
    dlgAtlasdesk.show();
    return app.exec();
}
