// The server tree: connecting to a root, listing directories lazily,
// Refresh, and releasing nodes.
#include <dirent.h>

#include <QApplication>
#include <QCollator>
#include <QCollatorSortKey>
#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "AtlasdeskOps.h"
#include "CategoryIcons.h"
#include "CommandGuard.h"
#include "FileOps.h"
#include "PathOps.h"
#include "SearchPane.h"
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

// A data-set node, or null for a path of no shown category.
TreeNode* makeFileNode(const std::string& path)
{
    auto file = std::make_unique<tXMLFile>(path);
    if (file->Category == catUnknown)
        return nullptr;
    file->Scanned = true;
    const int category = file->Category;
    const QString text = displayText(file->Name);
    auto* node = new TreeNode(std::move(file));
    node->setText(0, text);
    node->setHasChildrenMark(false);
    setPicture(node, category);
    return node;
}

// The listing's extension test: an entry passes when its extension occurs
// anywhere in AllExtensions. An entry's extension holds exactly one dot, at
// its start, so the texts that can pass are those that run in AllExtensions
// from a dot up to the next dot or the end. They are collected once per
// configuration instead of searching the long text for every entry.
bool listedExtension(const std::string& ext)
{
    static std::string source;
    static std::unordered_set<std::string> accepted;
    static bool collected = false;
    if (!collected || source != AllExtensions) {
        source = AllExtensions;
        accepted.clear();
        collected = true;
        for (size_t start = source.find('.'); start != std::string::npos; start = source.find('.', start + 1)) {
            const size_t end = std::min(source.find('.', start + 1), source.size());
            for (size_t length = 1; start + length <= end; ++length)
                accepted.insert(source.substr(start, length));
        }
    }
    return accepted.count(ext) > 0;
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
    // Results of the previous server go; this one's index is brought up to date.
    searchPane->clearSearch();
    startIndexing();
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
    const std::string dir = f->DataPath();
    QList<QTreeWidgetItem*> children;
    for (const std::string& path : ListSubdirectories(dir))
        if (TreeNode* child = makeDirectoryNode(path))
            children.append(child);
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string_view name = e->d_name;
            const size_t dot = name.rfind('.');
            if (dot == std::string_view::npos || dot + 1 == name.size())
                continue; // no extension, or just "." ("." and ".." too)
            if (!listedExtension(LowerAscii(name.substr(dot))))
                continue;
            if (TreeNode* child = makeFileNode(dir + std::string(name)))
                children.append(child);
        }
        closedir(d);
    }

    // Children are sorted by text with the locale's case-sensitive order;
    // sort keys keep that fast for directories of many thousand entries.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseSensitive);
    std::vector<std::pair<QCollatorSortKey, QTreeWidgetItem*>> keyed;
    keyed.reserve(static_cast<size_t>(children.size()));
    for (QTreeWidgetItem* c : children)
        keyed.emplace_back(collator.sortKey(c->text(0)), c);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    QList<QTreeWidgetItem*> sorted;
    sorted.reserve(children.size());
    for (auto& k : keyed)
        sorted.append(k.second);
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
        // New, changed and removed metadata reach the search index too.
        startIndexing();
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
