// The server tree: connecting to a root, listing directories lazily,
// Refresh, and releasing nodes.
#include <QApplication>

#include "AtlasdeskOps.h"
#include "CategoryIcons.h"
#include "CommandGuard.h"
#include "DirectoryListing.h"
#include "FileOps.h"
#include "PathOps.h"
#include "ServerTree.h"
#include "XMLFile.h"
#include "dlgAtlasdeskU.h"

namespace {

void setPicture(TreeNode* node, int picture)
{
    node->setIcon(0, categoryIcon(picture));
    node->setData(0, Qt::UserRole, picture);
}

// Names on old servers are often Latin-1 rather than UTF-8: such a name is
// shown as windows-1252 text instead of with replacement characters. Only
// the display changes; the node's paths keep the bytes as they are.
QString displayText(const std::string& bytes)
{
    return DecodeFileName(bytes);
}

// A directory node, or null when the directory rule rejects the path.
TreeNode* makeDirectoryNode(const std::string& path)
{
    if (ExtractFileName(path) == "info")
        return nullptr;
    if (FileExists(ExcludeTrailingPathDelimiter(path) + ".aux"))
        return nullptr; // shown through its .aux file instead
    auto file = std::make_unique<tXMLFile>(path);
    const std::string name = file->Name;
    const bool isDirectory = file->Category == catDirectory;
    auto* node = new TreeNode(std::move(file));
    QString text = displayText(name.empty() ? name : name.substr(0, name.size() - 1));
    if (text.isEmpty() || !isDirectory)
        text = displayText(path); // a drive-like root "/" or a root that does not exist
    node->setText(0, text);
    node->setHasChildrenMark(isDirectory);
    setPicture(node, catDirectory);
    return node;
}

// A node for one listed entry: a directory node to expand, or a data set.
TreeNode* makeListedNode(const DirectoryListing& listing, const ListedEntry& entry)
{
    auto* node = new TreeNode(makeListedItem(listing, entry));
    node->setText(0, entry.text);
    node->setHasChildrenMark(entry.subdirectory);
    setPicture(node, entry.category);
    return node;
}

} // namespace

void TdlgAtlasdesk::ConnectToServer(const std::string& root)
{
    ServerRoot = root;
    ClearTree();
    AddDirectoryNode(nullptr, root);
    auto* first = static_cast<TreeNode*>(tvXMLTree->topLevelItem(0));
    if (!first)
        throw Exception("Invalid index");
    setPicture(first, catCatalog);
    tvXMLTree->setCurrentItem(first);
    setWindowTitle(EditionTitle + QStringLiteral(" - ") + QString::fromStdString(root));
    UpdateCounters();
}

TreeNode* TdlgAtlasdesk::AddDirectoryNode(TreeNode* parent, const std::string& path)
{
    TreeNode* node = makeDirectoryNode(path);
    if (node)
        tvXMLTree->attach(parent, node);
    return node;
}

void TdlgAtlasdesk::ScanDirectoryNode(TreeNode* node)
{
    tXMLFile* f = node->file();
    if (f->Scanned)
        return;
    const DirectoryListing listing = listDirectory(f->DataPath());
    QList<QTreeWidgetItem*> sorted;
    sorted.reserve(static_cast<qsizetype>(listing.entries.size()));
    for (const ListedEntry& entry : listing.entries)
        sorted.append(makeListedNode(listing, entry));
    if (!sorted.isEmpty())
        tvXMLTree->attachChildren(node, sorted);
    node->setHasChildrenMark(node->childCount() > 0);
    f->Scanned = true;
    UpdateCounters();
}

void TdlgAtlasdesk::OntvXMLTreeExpanding(QTreeWidgetItem* item)
{
    auto* node = static_cast<TreeNode*>(item);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    try {
        ScanDirectoryNode(node);
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    // The pointer is normal again before any error is shown.
    QApplication::restoreOverrideCursor();
    if (!error.isEmpty())
        showErrorBox(this, error);
}

void TdlgAtlasdesk::mnuRefreshClick()
{
    runCommand(this, [this] {
        TreeNode* node = tvXMLTree->primaryNode();
        if (!node)
            return;
        // A data set has nothing to list: refreshing it lists its directory again.
        if (node->file()->Category != catDirectory && node->parentNode())
            node = node->parentNode();
        const int selectedBefore = tvXMLTree->selectionCount();
        {
            const QSignalBlocker quiet(tvXMLTree);
            for (int i = node->childCount() - 1; i >= 0; --i)
                DeleteSubtree(node->childNode(i));
        }
        node->file()->Scanned = false;
        ScanDirectoryNode(node);
        if (tvXMLTree->selectionCount() != selectedBefore)
            OntvXMLTreeSelect();
    });
}

void TdlgAtlasdesk::DeleteSubtree(TreeNode* node)
{
    tvXMLTree->deleteSubtree(node);
    // No released data object may stay in the list of selected data sets.
    SelectedFiles.clear();
    for (TreeNode* n : tvXMLTree->selectionOrder())
        SelectedFiles.push_back(n->file());
}

void TdlgAtlasdesk::ClearTree()
{
    {
        const QSignalBlocker quiet(tvXMLTree);
        tvXMLTree->clearAll();
    }
    SelectedFiles.clear();
}
