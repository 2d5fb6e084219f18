// "&Open file(s)": opens the selected data files in their own programs.
#include <QMessageBox>

#include "model/AtlasdeskOps.h"
#include "app/CommandGuard.h"
#include "support/FileOps.h"
#include "app/HandOver.h"
#include "app/ServerTree.h"
#include "model/XMLFile.h"
#include "app/dlgAtlasdeskU.h"

void TdlgAtlasdesk::OnMnuOpenFilesClick()
{
    runCommand(this, [this] {
        const std::vector<QModelIndex> selected = tvXMLTree->selectionOrder();
        const int n = static_cast<int>(selected.size());
        if (n > 1) {
            QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"),
                            QStringLiteral("Open %1 files").arg(n),
                            QMessageBox::Ok | QMessageBox::Cancel, this);
            if (box.exec() != QMessageBox::Ok)
                return;
        }
        for (const QModelIndex& node : selected)
            launchFile(dataFileOf(*tvXMLTree->file(node)));
    });
}

void TdlgAtlasdesk::OntvXMLTreeEnter()
{
    const QModelIndex node = tvXMLTree->currentIndex();
    if (!node.isValid())
        return;
    const int category = tvXMLTree->file(node)->Category;
    if (category == catDirectory || category == catCatalog) {
        tvXMLTree->setExpanded(node, !tvXMLTree->isExpanded(node));
        return;
    }
    OnMnuOpenFilesClick();
}

void TdlgAtlasdesk::OpenWithDesktop(const std::string& path)
{
    // The opener may stay until the program it started ends: the window
    // does not wait for it, and hears of a failure when it comes.
    LaunchFileAsync(path, this, [this](const std::string& error) {
        runCommand(this, [&error] { throw Exception(error); });
    });
}
