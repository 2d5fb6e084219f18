#pragma once
// Reading the store tree in tests: the texts of a node's rows, a row by its
// text, and the item behind a node, all through the tree's model.
#include <gtest/gtest.h>

#include <QModelIndex>
#include <QStringList>

#include "model/StoreTreeModel.h"

namespace treetest {

inline QString text(const QModelIndex& node)
{
    return node.data().toString();
}

// The texts of a node's rows in display order.
inline QStringList childTexts(const QModelIndex& node)
{
    QStringList texts;
    const QAbstractItemModel* model = node.model();
    for (int row = 0, rows = model ? model->rowCount(node) : 0; row < rows; ++row)
        texts << model->index(row, 0, node).data().toString();
    return texts;
}

// The row of `parent` shown as `name`; invalid (and a failure) when there is none.
inline QModelIndex childNamed(const QModelIndex& parent, const QString& name)
{
    const QAbstractItemModel* model = parent.model();
    for (int row = 0, rows = model ? model->rowCount(parent) : 0; row < rows; ++row) {
        const QModelIndex child = model->index(row, 0, parent);
        if (child.data().toString() == name)
            return child;
    }
    ADD_FAILURE() << "no node " << name.toStdString() << " under " << text(parent).toStdString();
    return {};
}

// The item of a node of the store tree; null for an invalid index.
inline tXMLFile* fileOf(const QModelIndex& node)
{
    const auto* model = qobject_cast<const StoreTreeModel*>(node.model());
    return model ? model->file(node) : nullptr;
}

inline bool isListed(const QModelIndex& node)
{
    const auto* model = qobject_cast<const StoreTreeModel*>(node.model());
    return model && model->state(node) == StoreTreeModel::State::Listed;
}

} // namespace treetest
