#pragma once
// The store as a tree for Qt's views: one root (the server), its
// directories and data sets, each node owning the tXMLFile of its item.
//
// The tree's state lives here, and only here: each node is in one listing
// state (not listed, being listed, listed). A directory is listed when a
// view asks for its rows (canFetchMore/fetchMore, as a QTreeView does when
// it expands a node) or when a walk asks: the listing service reads it off
// the window's thread, and the answer is inserted a slice at a time
// (beginInsertRows/endInsertRows), so the event loop never waits long for a
// folder of many thousand entries. directoryLoaded tells when a folder's
// rows are all in; listingDropped when a listing ended without them
// (cancelled, or the folder was removed from the tree meanwhile).
//
// Nothing here draws: the picture, the greyed look and the words for
// people are the views'. Window thread only (the thread the model lives
// in), as is the listing service it asks.
#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/DirectoryListing.h"

class ListingService;
class tXMLFile;

class StoreTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // The one listing state of a node.
    enum class State : uint8_t {
        NotListed, // a directory whose entries have not been read (again, after Refresh)
        Listing,   // asked for, or its answer being inserted
        Listed,    // its rows are in; data sets are born listed, having none
    };
    enum Role {
        CategoryRole = Qt::UserRole, // int: the item's category (catDirectory, catVector, ...)
        PictureRole,                 // int: the picture to show: the category, Catalog for the root
        StateRole,                   // int: State
        ListingErrorRole,            // QString: why the folder could not be read; null when it could
    };
    // A directory's identity on disk (device, inode) as its listing found
    // it; {0, 0} before a listing, or when it failed.
    using DirectoryId = std::pair<uint64_t, uint64_t>;

    // `listing` answers the model's requests; it must outlive the model.
    explicit StoreTreeModel(ListingService* listing, QObject* parent = nullptr);
    ~StoreTreeModel() override;

    // ---- QAbstractItemModel -------------------------------------------------
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // The has-children mark: a directory not listed yet has it (an expand
    // button before any row exists); a listed one has it when it has rows.
    bool hasChildren(const QModelIndex& parent = {}) const override;
    // The text; the tool tip ("Loading…" while listing, the error of a
    // folder that could not be read); the roles above.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A directory that is not listed and not being listed.
    bool canFetchMore(const QModelIndex& parent) const override;
    // Starts listing `parent` (see list()).
    void fetchMore(const QModelIndex& parent) override;

    // ---- The tree ---------------------------------------------------------------
    // Replaces the whole tree by one root node for `file`, shown as `text`,
    // not listed yet; returns its index.
    QModelIndex setRoot(std::unique_ptr<tXMLFile> file, const QString& text);
    // Empties the tree; listings on their way are dropped.
    void clear();
    QModelIndex rootIndex() const;
    // The item of a node; null for an invalid index. Owned by the node.
    tXMLFile* file(const QModelIndex& index) const;
    State state(const QModelIndex& index) const;
    DirectoryId directoryId(const QModelIndex& index) const;
    // Nodes in the tree, at every depth.
    int nodeCount() const { return m_nodeCount; }
    // Shows `index` as `text`; `expandable` sets its has-children mark while
    // it is not listed, and a node that cannot be expanded is never listed
    // (a root that turned out to be no folder).
    void setNodeText(const QModelIndex& index, const QString& text);
    void setExpandable(const QModelIndex& index, bool expandable);

    // ---- Listing ------------------------------------------------------------------
    // Asks for the listing of the directory `dir` unless it is listed or on
    // its way. True when it is being listed now (asked by this call or
    // before); false when there is nothing to wait for.
    bool list(const QModelIndex& dir);
    // Drops the listing of `dir` if one is on its way: the node is not
    // listed again (a collapse asks anew on the next expansion).
    void cancelListing(const QModelIndex& dir);
    // The same for every listing on its way.
    void cancelAllListings();
    // Removes the rows of `dir`: it is not listed, as before its first
    // listing (a listing on its way is dropped).
    void unlist(const QModelIndex& dir);
    // Refresh: removes the rows of `dir` and lists it again.
    void relist(const QModelIndex& dir);
    // A listing is on its way or being inserted.
    bool isListing() const { return !m_requests.empty(); }
    // The indexes of the nodes being listed.
    std::vector<QModelIndex> listingNodes() const;

    // Rows inserted per turn of the event loop are as many as fit in this
    // time (tests make it small to see slices).
    void setSliceBudgetMs(int milliseconds) { m_sliceBudgetMs = milliseconds; }

signals:
    // Every row of `dir` is in (also when it could not be read: its error
    // is then at ListingErrorRole and it has no rows).
    void directoryLoaded(const QModelIndex& dir);
    // The listing of `dir` ended without rows: cancelled or dropped. The
    // node is not listed.
    void listingDropped(const QModelIndex& dir);

private:
    struct Node;
    Node* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(const Node* node) const;
    void onListed(quint64 request, const std::shared_ptr<const DirectoryListing>& listing);
    void insertSlice();
    void finishListing(Node* node);
    void dropListingOf(Node* node, bool tell);
    // Drops every listing on its way without a word (before the tree goes).
    void forgetAllListings();
    // Drops the listings on their way in the subtree of `node` (before it
    // goes), with listingDropped for each.
    void forgetSubtree(Node* node);
    static void markGoing(Node* node);
    void removeChildren(Node* node);
    // Nodes below `node`, at every depth.
    static int countBelow(const Node& node);

    // One answer being inserted a slice at a time.
    struct Insertion {
        Node* node;
        quint64 request;
        std::shared_ptr<const DirectoryListing> listing; // never null
        size_t next = 0;
    };

    ListingService* m_listing;
    std::unique_ptr<Node> m_root;                      // null when the tree is empty
    std::unordered_map<quint64, Node*> m_requests;     // request -> node waiting for it (asked or being inserted)
    std::deque<Insertion> m_insertions;                 // answers being inserted, oldest first
    bool m_sliceQueued = false;
    int m_sliceBudgetMs = 8;
    int m_nodeCount = 0;
};
