// Handing the selected data sets to other programs: "Copy path" and "Show in
// file manager" (dragging is the tree's own, see ServerTree::dragData).
#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMimeData>
#include <QUrl>
#include <set>

#include "app/CommandGuard.h"
#include "app/HandOver.h"
#include "support/PathOps.h"
#include "app/ServerTree.h"
#include "model/XMLFile.h"
#include "app/dlgAtlasdeskU.h"

namespace {

const char* const kFileManagerService = "org.freedesktop.FileManager1";
const char* const kFileManagerPath = "/org/freedesktop/FileManager1";

// The folder that holds `path` (a directory's path ends in '/').
std::string containingFolder(const std::string& path)
{
    return ExtractFilePath(ExcludeTrailingPathDelimiter(path));
}

} // namespace

std::vector<std::string> TdlgAtlasdesk::handedOverSelection() const
{
    std::vector<std::string> paths;
    for (const QModelIndex& node : tvXMLTree->selectionOrder())
        paths.push_back(handedOverPath(*tvXMLTree->file(node)));
    return paths;
}

void TdlgAtlasdesk::mnuCopyPathClick()
{
    runCommand(this, [this] {
        const std::vector<std::string> paths = handedOverSelection();
        if (paths.empty())
            return;
        QApplication::clipboard()->setMimeData(handOverMimeData(paths));
    });
}

void TdlgAtlasdesk::mnuShowInFileManagerClick()
{
    runCommand(this, [this] {
        const std::vector<std::string> paths = handedOverSelection();
        if (!paths.empty())
            ShowInFileManager(paths);
    });
}

void TdlgAtlasdesk::ShowInFileManager(const std::vector<std::string>& paths)
{
    // Without the file manager's interface, each containing folder is opened
    // through the desktop's opener instead (the item is then not selected).
    auto openFolders = [this, paths] {
        std::set<std::string> done;
        for (const std::string& path : paths) {
            const std::string folder = containingFolder(path);
            if (done.insert(folder).second)
                runCommand(this, [&] { OpenWithDesktop(folder); });
        }
    };
    QDBusConnection bus = fileManagerBus.isEmpty()
                              ? QDBusConnection::sessionBus()
                              : QDBusConnection::connectToBus(fileManagerBus, QStringLiteral("atlasdesk-file-manager"));
    if (!bus.isConnected()) {
        openFolders();
        return;
    }
    QStringList uris;
    for (const std::string& path : paths)
        uris << QString::fromLatin1(fileUrlOfBytes(ExcludeTrailingPathDelimiter(path)).toEncoded());
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kFileManagerService), QString::fromLatin1(kFileManagerPath),
        QString::fromLatin1(kFileManagerService), QStringLiteral("ShowItems"));
    call << uris << QString();
    // Asked without waiting: the bus answers with an error at once when no
    // file manager offers the interface, and the folders are opened then.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [watcher, openFolders](QDBusPendingCallWatcher*) {
                watcher->deleteLater();
                if (watcher->isError())
                    openFolders();
            });
}
