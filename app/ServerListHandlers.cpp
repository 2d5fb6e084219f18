// The server list: entries of "&Connect to geodata server..." and
// "&New server...".
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMenu>

#include "model/AtlasdeskOps.h"
#include "app/CommandGuard.h"
#include "support/FileOps.h"
#include "app/dlgAtlasdeskU.h"

tMenuItemServer::tMenuItemServer(const std::string& serverPath, QMenu* owner)
    : QObject(owner), ServerPath(serverPath)
{
    m_action = new QAction(QString::fromStdString(serverPath), this);
    // Menu captions would take "&" for an accelerator: show paths as they are.
    m_action->setText(QString::fromStdString(serverPath).replace(QLatin1Char('&'), QStringLiteral("&&")));
    owner->addAction(m_action);
}

void TdlgAtlasdesk::addServerEntry(const std::string& path, int tag)
{
    auto* entry = new tMenuItemServer(path, mnuConnectToXML);
    entry->setObjectName(QStringLiteral("serverEntry"));
    entry->setProperty("Tag", tag);
    entry->action()->setProperty("Tag", tag);
    connect(entry->action(), &QAction::triggered, this, &TdlgAtlasdesk::mnuConnectToXMLClick);
}

void TdlgAtlasdesk::LoadServerMenu()
{
    for (const std::string& path : ReadServerList())
        addServerEntry(path, 255);
}

void TdlgAtlasdesk::mnuConnectToXMLClick()
{
    auto* action = qobject_cast<QAction*>(sender());
    auto* entry = action ? qobject_cast<tMenuItemServer*>(action->parent()) : nullptr;
    if (!entry)
        return;
    const std::string root = entry->ServerPath;
    runCommand(this, [this, root] { ConnectToServer(root); });
}

void TdlgAtlasdesk::mnuNewServerClick()
{
    runCommand(this, [this] {
        std::string folder;
        if (!folderPicker(QStringLiteral("Select the root directory"), QString(), folder))
            return;
        ConnectToServer(folder);
        for (QObject* child : mnuConnectToXML->children())
            if (auto* entry = qobject_cast<tMenuItemServer*>(child))
                if (entry->ServerPath == folder)
                    return;
        AppendServer(folder);
        addServerEntry(folder, 0);
    });
}

bool TdlgAtlasdesk::BrowseForFolder(const QString& title, const QString& root, std::string& folder)
{
    if (!IsDirectory(folder))
        folder.clear();
    QFileDialog dialog(this, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (!root.isEmpty())
        dialog.setDirectory(root);
    if (!folder.empty()) {
        const QString preselected = QString::fromStdString(folder);
        dialog.setDirectory(QFileInfo(preselected).absolutePath());
        dialog.selectFile(preselected);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    folder = QDir::toNativeSeparators(dialog.selectedFiles().constFirst()).toStdString();
    return true;
}
