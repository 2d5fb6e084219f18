#include "model/StoreTreeModel.h"

#include <QMetaObject>

#include <algorithm>

#include "model/AtlasdeskOps.h"
#include "model/ListingService.h"
#include "model/XMLFile.h"

struct StoreTreeModel::Node {
    std::unique_ptr<tXMLFile> file;
    QString text;
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;
    int row = 0;                     // its place among its parent's children
    uint8_t picture = 0;
    State state = State::Listed;
    bool expandable = false;         // the has-children mark while not listed
    quint64 request = 0;             // while Listing: the request it waits for
    QString error;                   // when Listed: why the folder could not be read
    DirectoryId id{0, 0};            // when Listed: the directory listed
    bool going = false;              // its rows are being removed: never listed again
};

StoreTreeModel::StoreTreeModel(ListingService* listing, QObject* parent) : QAbstractItemModel(parent), m_listing(listing)
{
    connect(m_listing, &ListingService::listed, this, &StoreTreeModel::onListed);
}

StoreTreeModel::~StoreTreeModel()
{
    forgetAllListings();
}

// ---- QAbstractItemModel ------------------------------------------------------------

StoreTreeModel::Node* StoreTreeModel::nodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

QModelIndex StoreTreeModel::indexOf(const Node* node) const
{
    return node ? createIndex(node->row, 0, const_cast<Node*>(node)) : QModelIndex();
}

QModelIndex StoreTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row == 0 && m_root ? indexOf(m_root.get()) : QModelIndex();
    const Node* node = nodeOf(parent);
    if (row >= static_cast<int>(node->children.size()))
        return {};
    return createIndex(row, 0, node->children[static_cast<size_t>(row)].get());
}

QModelIndex StoreTreeModel::parent(const QModelIndex& child) const
{
    const Node* node = nodeOf(child);
    return node ? indexOf(node->parent) : QModelIndex();
}

int StoreTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return m_root ? 1 : 0;
    if (parent.column() != 0)
        return 0;
    return static_cast<int>(nodeOf(parent)->children.size());
}

int StoreTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool StoreTreeModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return m_root != nullptr;
    const Node* node = nodeOf(parent);
    return node->state == State::Listed ? !node->children.empty() : node->expandable || !node->children.empty();
}

QVariant StoreTreeModel::data(const QModelIndex& index, int role) const
{
    const Node* node = nodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return node->text;
    case Qt::ToolTipRole:
        if (node->state == State::Listing)
            return QStringLiteral("Loading…");
        return node->error.isEmpty() ? QVariant() : node->error;
    case CategoryRole:
        return int(node->file->Category);
    case PictureRole:
        return int(node->picture);
    case StateRole:
        return int(node->state);
    case ListingErrorRole:
        return node->error.isEmpty() ? QVariant() : node->error;
    default:
        return {};
    }
}

Qt::ItemFlags StoreTreeModel::flags(const QModelIndex& index) const
{
    const Node* node = nodeOf(index);
    if (!node)
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    // A data set never gets rows: views need not ask.
    if (node->state == State::Listed && !node->expandable && node->children.empty() && node->parent)
        f |= Qt::ItemNeverHasChildren;
    return f;
}

bool StoreTreeModel::canFetchMore(const QModelIndex& parent) const
{
    const Node* node = nodeOf(parent);
    return node && node->state == State::NotListed && node->expandable && !node->going;
}

void StoreTreeModel::fetchMore(const QModelIndex& parent)
{
    list(parent);
}

// ---- The tree ------------------------------------------------------------------------

QModelIndex StoreTreeModel::setRoot(std::unique_ptr<tXMLFile> file, const QString& text)
{
    cancelAllListings();
    beginResetModel();
    forgetAllListings(); // asked again by whoever was told
    m_root = std::make_unique<Node>();
    m_root->file = std::move(file);
    m_root->text = text;
    m_root->picture = catCatalog;
    m_root->state = State::NotListed;
    m_root->expandable = true;
    m_nodeCount = 1;
    endResetModel();
    return rootIndex();
}

void StoreTreeModel::clear()
{
    cancelAllListings();
    beginResetModel();
    forgetAllListings(); // asked again by whoever was told
    m_root.reset();
    m_nodeCount = 0;
    endResetModel();
}

QModelIndex StoreTreeModel::rootIndex() const
{
    return indexOf(m_root.get());
}

tXMLFile* StoreTreeModel::file(const QModelIndex& index) const
{
    const Node* node = nodeOf(index);
    return node ? node->file.get() : nullptr;
}

StoreTreeModel::State StoreTreeModel::state(const QModelIndex& index) const
{
    const Node* node = nodeOf(index);
    return node ? node->state : State::Listed;
}

StoreTreeModel::DirectoryId StoreTreeModel::directoryId(const QModelIndex& index) const
{
    const Node* node = nodeOf(index);
    return node ? node->id : DirectoryId{0, 0};
}

void StoreTreeModel::setNodeText(const QModelIndex& index, const QString& text)
{
    if (Node* node = nodeOf(index)) {
        node->text = text;
        emit dataChanged(index, index, {Qt::DisplayRole});
    }
}

void StoreTreeModel::setExpandable(const QModelIndex& index, bool expandable)
{
    if (Node* node = nodeOf(index)) {
        node->expandable = expandable;
        emit dataChanged(index, index);
    }
}

// ---- Listing -------------------------------------------------------------------------

bool StoreTreeModel::list(const QModelIndex& dir)
{
    Node* node = nodeOf(dir);
    if (!node || node->going || node->state == State::Listed)
        return false;
    if (node->state == State::Listing)
        return true;
    if (!node->expandable)
        return false;
    node->request = m_listing->request(node->file->DataPath());
    node->state = State::Listing;
    m_requests.emplace(node->request, node);
    emit dataChanged(dir, dir, {Qt::ToolTipRole, StateRole});
    return true;
}

std::vector<QModelIndex> StoreTreeModel::listingNodes() const
{
    std::vector<QModelIndex> nodes;
    nodes.reserve(m_requests.size());
    for (const auto& [request, node] : m_requests)
        nodes.push_back(indexOf(node));
    return nodes;
}

void StoreTreeModel::onListed(quint64 request, const std::shared_ptr<const DirectoryListing>& listing)
{
    const auto it = m_requests.find(request);
    if (it == m_requests.end())
        return; // dropped meanwhile
    Node* node = it->second;
    if (listing->cancelled) {
        // Not listed: the node stays as it was, ready to be listed.
        dropListingOf(node, true);
        return;
    }
    m_insertions.push_back(Insertion{node, request, listing, 0});
    if (!m_sliceQueued) {
        m_sliceQueued = true;
        QMetaObject::invokeMethod(this, &StoreTreeModel::insertSlice, Qt::QueuedConnection);
    }
}

void StoreTreeModel::insertSlice()
{
    m_sliceQueued = false;
    QElapsedTimer clock;
    clock.start();
    // Making a node costs some microseconds; the rows made within the
    // budget go in together, and the event loop runs between slices.
    // At least one batch of rows goes in per turn, whatever the budget.
    constexpr size_t kCheckEvery = 64;
    while (!m_insertions.empty()) {
        Insertion& insertion = m_insertions.front();
        Node* node = insertion.node;
        const quint64 request = insertion.request;
        const DirectoryListing& listing = *insertion.listing;
        const std::vector<ListedEntry>& entries = listing.entries;
        std::vector<std::unique_ptr<Node>> made;
        while (insertion.next < entries.size() &&
               (made.size() % kCheckEvery != 0 || made.empty() || clock.elapsed() < m_sliceBudgetMs)) {
            const ListedEntry& entry = entries[insertion.next++];
            auto child = std::make_unique<Node>();
            child->file = makeListedItem(listing, entry);
            child->text = entry.text;
            child->parent = node;
            child->picture = entry.category;
            child->state = entry.subdirectory ? State::NotListed : State::Listed;
            child->expandable = entry.subdirectory;
            made.push_back(std::move(child));
        }
        const bool more = insertion.next < entries.size();
        const size_t total = entries.size();
        if (!made.empty()) {
            const int first = static_cast<int>(node->children.size());
            const int last = first + static_cast<int>(made.size()) - 1;
            beginInsertRows(indexOf(node), first, last);
            node->children.reserve(std::max(node->children.capacity(), total));
            for (auto& child : made) {
                child->row = static_cast<int>(node->children.size());
                node->children.push_back(std::move(child));
            }
            m_nodeCount += last - first + 1;
            endInsertRows();
            // Whoever was told may have dropped this listing (its rows went
            // with it) or others: `insertion` is not to be trusted any more.
            if (m_insertions.empty() || m_insertions.front().request != request)
                continue;
        }
        if (more)
            break; // out of time: the rest next turn
        finishListing(node);
        if (clock.elapsed() >= m_sliceBudgetMs)
            break;
    }
    if (!m_insertions.empty() && !m_sliceQueued) {
        m_sliceQueued = true;
        QMetaObject::invokeMethod(this, &StoreTreeModel::insertSlice, Qt::QueuedConnection);
    }
}

void StoreTreeModel::finishListing(Node* node)
{
    Insertion& insertion = m_insertions.front();
    m_requests.erase(insertion.request);
    node->request = 0;
    node->state = State::Listed;
    node->id = {insertion.listing->device, insertion.listing->inode};
    // A folder that cannot be read lists as empty; the error says why.
    node->error = insertion.listing->error;
    m_insertions.pop_front();
    const QModelIndex index = indexOf(node);
    // Also tells views that the expand button of an empty folder goes.
    emit dataChanged(index, index);
    emit directoryLoaded(index);
}

void StoreTreeModel::dropListingOf(Node* node, bool tell)
{
    if (node->state != State::Listing)
        return;
    m_listing->cancel(node->request);
    m_requests.erase(node->request);
    const auto inserting = std::find_if(m_insertions.begin(), m_insertions.end(),
                                        [node](const Insertion& i) { return i.node == node; });
    if (inserting != m_insertions.end()) {
        m_insertions.erase(inserting);
        // Rows of an answer cut short go again: listed is all or nothing.
        // Meanwhile the node still counts as being listed, so that nobody
        // asks for it anew before it is told.
        removeChildren(node);
    }
    node->request = 0;
    node->state = State::NotListed;
    if (tell) {
        const QModelIndex index = indexOf(node);
        emit dataChanged(index, index, {Qt::ToolTipRole, StateRole});
        emit listingDropped(index);
    }
}

void StoreTreeModel::cancelListing(const QModelIndex& dir)
{
    if (Node* node = nodeOf(dir))
        dropListingOf(node, true);
}

void StoreTreeModel::cancelAllListings()
{
    std::vector<Node*> waiting;
    waiting.reserve(m_requests.size());
    for (const auto& [request, node] : m_requests)
        waiting.push_back(node);
    for (Node* node : waiting)
        dropListingOf(node, true);
}

void StoreTreeModel::forgetAllListings()
{
    for (const auto& [request, node] : m_requests)
        m_listing->cancel(request);
    m_requests.clear();
    m_insertions.clear();
}

void StoreTreeModel::forgetSubtree(Node* node)
{
    if (m_requests.empty())
        return;
    dropListingOf(node, true);
    for (auto& child : node->children)
        forgetSubtree(child.get());
}

void StoreTreeModel::markGoing(Node* node)
{
    node->going = true;
    for (auto& child : node->children)
        markGoing(child.get());
}

int StoreTreeModel::countBelow(const Node& node)
{
    int count = static_cast<int>(node.children.size());
    for (const auto& child : node.children)
        count += countBelow(*child);
    return count;
}

void StoreTreeModel::removeChildren(Node* node)
{
    if (node->children.empty())
        return;
    // Nodes on their way out are never listed again (whoever is told of
    // their going may ask), and walks waiting for one of them are told.
    for (auto& child : node->children)
        markGoing(child.get());
    for (auto& child : node->children)
        forgetSubtree(child.get());
    beginRemoveRows(indexOf(node), 0, static_cast<int>(node->children.size()) - 1);
    m_nodeCount -= countBelow(*node);
    node->children.clear();
    endRemoveRows();
}

void StoreTreeModel::unlist(const QModelIndex& dir)
{
    Node* node = nodeOf(dir);
    if (!node)
        return;
    dropListingOf(node, true);
    removeChildren(node);
    // A root that turned out to be no folder has nothing to list.
    node->state = node->expandable ? State::NotListed : State::Listed;
    node->error.clear();
    node->id = {0, 0};
    emit dataChanged(dir, dir);
}

void StoreTreeModel::relist(const QModelIndex& dir)
{
    unlist(dir);
    list(dir);
}
