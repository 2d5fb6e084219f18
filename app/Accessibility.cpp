#include "app/Accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QHeaderView>
#include <QPersistentModelIndex>
#include <QPointer>
#include <iterator>
#include <vector>

#include "model/AtlasdeskOps.h"
#include "app/ServerTree.h"
#include "model/StoreTreeModel.h"

QString categoryDescription(int category)
{
    // By category number; the server itself (Catalog) is a directory too.
    static const char* const descriptions[] = {
        "Unknown", "Directory", "Vector data set", "Raster data set", "GIS file",
        "Table",   "Document",  "Executable",      "File",            "Directory"};
    if (category < 0 || category >= static_cast<int>(std::size(descriptions)))
        category = catUnknown;
    return QString::fromLatin1(descriptions[category]);
}

namespace {

// One row of the server tree. The toolkit's own row interface reports every
// row as enabled and selectable; a greyed node is neither, and says so.
class TreeRowAccessible : public QAccessibleInterface {
public:
    TreeRowAccessible(ServerTree* tree, const QModelIndex& index) : m_tree(tree), m_index(index) {}

    bool isValid() const override { return m_tree && m_index.isValid(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override
    {
        return m_tree ? m_tree->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_tree.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::TreeItem; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        if (t == QAccessible::Name)
            return m_index.data(Qt::DisplayRole).toString();
        if (t == QAccessible::Description)
            return categoryDescription(m_index.data(StoreTreeModel::CategoryRole).toInt());
        return {};
    }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        QRect r = m_tree->visualRect(m_index);
        if (r.isNull())
            return {};
        return QRect(m_tree->viewport()->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State st;
        if (!isValid())
            return st;
        const QRect r = m_tree->visualRect(m_index);
        if (r.isNull() || !m_tree->viewport()->rect().intersects(r))
            st.invisible = true;
        const bool shown = !m_tree->isShown || m_tree->isShown(m_index);
        if (shown) {
            st.selectable = true;
            st.focusable = true;
            st.extSelectable = true;
        } else {
            st.disabled = true;
        }
        st.selected = m_tree->isSelected(m_index);
        st.focused = m_tree->currentIndex() == QModelIndex(m_index);
        if (m_index.model()->hasChildren(m_index))
            st.expandable = true;
        st.expanded = m_tree->isExpanded(m_index);
        return st;
    }

    QModelIndex index() const { return m_index; }

private:
    QPointer<ServerTree> m_tree;
    QPersistentModelIndex m_index;
};

// The tree: its children are the header (as the toolkit counts it, hidden
// or not, so its own focus events name the right child) and then the rows
// that are on view, parents expanded, in display order.
class ServerTreeAccessible : public QAccessibleWidget {
public:
    explicit ServerTreeAccessible(ServerTree* tree) : QAccessibleWidget(tree, QAccessible::Tree)
    {
        // The rows on view are listed again after anything that moves them.
        const auto stale = [this] { m_rowsValid = false; };
        QAbstractItemModel* model = tree->model();
        m_connections = {
            QObject::connect(model, &QAbstractItemModel::rowsInserted, tree, stale),
            QObject::connect(model, &QAbstractItemModel::rowsRemoved, tree, stale),
            QObject::connect(model, &QAbstractItemModel::rowsMoved, tree, stale),
            QObject::connect(model, &QAbstractItemModel::modelReset, tree, stale),
            QObject::connect(model, &QAbstractItemModel::layoutChanged, tree, stale),
            QObject::connect(tree, &QTreeView::expanded, tree, stale),
            QObject::connect(tree, &QTreeView::collapsed, tree, stale),
        };
    }
    ~ServerTreeAccessible() override
    {
        for (const QMetaObject::Connection& c : m_connections)
            QObject::disconnect(c);
        for (QAccessible::Id id : std::as_const(m_rows))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return 1 + static_cast<int>(rows().size()); }

    QAccessibleInterface* child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(tree()->header());
        const std::vector<QModelIndex>& r = rows();
        if (index < 1 || index > static_cast<int>(r.size()))
            return nullptr;
        return rowInterface(r[index - 1]);
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!child)
            return -1;
        if (child->object() == tree()->header())
            return 0;
        if (child->role() != QAccessible::TreeItem)
            return -1;
        const QModelIndex index = static_cast<const TreeRowAccessible*>(child)->index();
        const std::vector<QModelIndex>& r = rows();
        for (size_t i = 0; i < r.size(); ++i)
            if (r[i] == index)
                return static_cast<int>(i) + 1;
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPoint local = tree()->viewport()->mapFromGlobal(QPoint(x, y));
        const QModelIndex index = tree()->indexAt(local);
        return index.isValid() ? rowInterface(index) : nullptr;
    }

private:
    ServerTree* tree() const { return static_cast<ServerTree*>(widget()); }

    const std::vector<QModelIndex>& rows() const
    {
        if (m_rowsValid)
            return m_visible;
        m_rowsValid = true;
        m_visible.clear();
        const ServerTree* t = tree();
        for (QModelIndex i = t->model()->index(0, 0); i.isValid(); i = t->indexBelow(i))
            m_visible.push_back(i);
        return m_visible;
    }

    QAccessibleInterface* rowInterface(const QModelIndex& index) const
    {
        // Keyed by node, which the model index points at.
        const void* key = index.internalPointer();
        auto it = m_rows.find(key);
        if (it != m_rows.end()) {
            if (QAccessibleInterface* iface = QAccessible::accessibleInterface(*it); iface && iface->isValid())
                return iface;
            QAccessible::deleteAccessibleInterface(*it);
            m_rows.erase(it);
        }
        // Rows of removed nodes are dropped now and then (each time the
        // table has doubled), so it stays as long as the rows asked about.
        if (m_rows.size() > 2 * m_keptAfterPurge + 64) {
            purgeRemovedRows();
            m_keptAfterPurge = m_rows.size();
        }
        auto* iface = new TreeRowAccessible(const_cast<ServerTree*>(tree()), index);
        m_rows.insert(key, QAccessible::registerAccessibleInterface(iface));
        return iface;
    }

    void purgeRemovedRows() const
    {
        for (auto i = m_rows.begin(); i != m_rows.end();) {
            QAccessibleInterface* iface = QAccessible::accessibleInterface(*i);
            if (!iface || !iface->isValid()) {
                QAccessible::deleteAccessibleInterface(*i);
                i = m_rows.erase(i);
            } else {
                ++i;
            }
        }
    }

    mutable std::vector<QModelIndex> m_visible; // window thread
    mutable qsizetype m_keptAfterPurge = 0;      // window thread
    mutable bool m_rowsValid = false;            // window thread
    std::vector<QMetaObject::Connection> m_connections; // window thread
    mutable QHash<const void*, QAccessible::Id> m_rows; // window thread
};

QAccessibleInterface* serverTreeFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("ServerTree") && object && object->isWidgetType())
        if (auto* tree = qobject_cast<ServerTree*>(object))
            return new ServerTreeAccessible(tree);
    return nullptr;
}

} // namespace

void installTreeAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(serverTreeFactory);
}

void enableWebAccessibility()
{
    // The web engine keeps its pages out of reach of assistive technology
    // on this platform unless told otherwise before it starts.
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY"))
        qputenv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY", "1");
}
