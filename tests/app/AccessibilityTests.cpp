// The window as assistive technology reaches it, through QAccessible: the
// category boxes' own actions, the tree's rows with their state and
// category, and the text of the rendered pages.
#include <QAccessible>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <functional>

#include "AppFixture.h"

namespace {

using testutil::makeDir;
using testutil::writeFile;

QAccessibleInterface* rowNamed(QAccessibleInterface* tree, const QString& name)
{
    for (int i = 0; i < tree->childCount(); ++i)
        if (QAccessibleInterface* row = tree->child(i); row && row->role() == QAccessible::TreeItem &&
                                                         row->text(QAccessible::Name) == name)
            return row;
    ADD_FAILURE() << "no accessible row " << name.toStdString();
    return nullptr;
}

// Depth first through the accessible tree below `iface`: true when some
// node's name or value contains `text`.
bool exposesText(QAccessibleInterface* iface, const QString& text, int depth = 0)
{
    if (!iface || depth > 40)
        return false;
    if (iface->text(QAccessible::Name).contains(text) || iface->text(QAccessible::Value).contains(text))
        return true;
    for (int i = 0; i < iface->childCount(); ++i)
        if (exposesText(iface->child(i), text, depth + 1))
            return true;
    return false;
}

class AccessibilityTest : public AppFixture {
protected:
    void makeTree()
    {
        const std::string d = m_tree.path();
        makeDir(d + "empty");
        writeFile(d + "roads.shp", "shp");
        writeFile(d + "stations.dbf", "dbf");
        writeFile(d + "report.pdf", "pdf");
        writeFile(d + "dem.tif", "tif");
    }
    QModelIndex connectAndList()
    {
        window().ConnectToServer(m_tree.path());
        QModelIndex root = window().tvXMLTree->rootNode();
        if (!root.isValid())
            return {};
        expand(root);
        EXPECT_TRUE(QTest::qWaitFor([root] { return rowCount(root) > 0; }, 10000));
        return root;
    }
};

TEST_F(AccessibilityTest, ABoxToggledThroughItsAccessibleActionFiltersExactlyItsCategory)
{
    makeTree();
    TdlgAtlasdesk& w = window();
    QModelIndex root = connectAndList();
    ASSERT_TRUE(root.isValid());
    const QList<QCheckBox*> boxes{w.ckVector, w.ckRaster, w.ckGIS, w.ckTable, w.ckDocument, w.ckExecutable};
    for (QCheckBox* box : boxes) {
        const int category = box->property("Tag").toInt();
        const QSet<int> before = w.ShownCategories;
        const bool wasChecked = box->isChecked();
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(box);
        ASSERT_NE(iface, nullptr);
        ASSERT_NE(iface->actionInterface(), nullptr);
        ASSERT_TRUE(iface->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));

        iface->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        EXPECT_TRUE(QTest::qWaitFor([&] { return box->isChecked() != wasChecked; }, 5000));
        QSet<int> expected = before;
        if (wasChecked)
            expected.remove(category);
        else
            expected.insert(category);
        EXPECT_EQ(w.ShownCategories, expected) << box->objectName().toStdString();

        iface->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        EXPECT_TRUE(QTest::qWaitFor([&] { return box->isChecked() == wasChecked; }, 5000));
        EXPECT_EQ(w.ShownCategories, before) << box->objectName().toStdString() << " back";
    }

    // Toggled by assistive technology, then clicked: box and filter agree.
    QModelIndex stations = child(root, "stations.dbf");
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(w.ckTable);
    table->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.ckTable->isChecked(); }, 5000));
    EXPECT_TRUE(w.IsCategoryShown(stations));
    w.ckTable->click();
    EXPECT_FALSE(w.ckTable->isChecked());
    EXPECT_FALSE(w.IsCategoryShown(stations)) << "the click greys what the unchecked box says";
    w.ckTable->setChecked(true);
    EXPECT_TRUE(w.IsCategoryShown(stations)) << "a programmatic change counts as well";
    w.ckTable->click();
    EXPECT_FALSE(w.IsCategoryShown(stations));
}

TEST_F(AccessibilityTest, GreyedRowsAreUnavailableAndEveryRowNamesItsCategory)
{
    makeTree();
    TdlgAtlasdesk& w = window();
    w.resize(800, 600);
    QModelIndex root = connectAndList();
    ASSERT_TRUE(root.isValid());
    QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(w.tvXMLTree);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->role(), QAccessible::Tree);

    const struct {
        const char* name;
        const char* description;
        bool greyed;
    } rows[] = {
        {"empty", "Directory", false},
        {"roads.shp", "Vector data set", false},
        {"dem.tif", "Raster data set", false},
        {"stations.dbf", "Table", true},
        {"report.pdf", "Document", true},
    };
    for (const auto& r : rows) {
        QAccessibleInterface* row = rowNamed(tree, r.name);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->role(), QAccessible::TreeItem);
        EXPECT_EQ(row->text(QAccessible::Description), r.description) << r.name;
        EXPECT_EQ(row->state().disabled, r.greyed) << r.name;
        EXPECT_EQ(row->state().selectable, !r.greyed) << r.name;
        EXPECT_EQ(row->parent(), tree);
        EXPECT_EQ(tree->child(tree->indexOfChild(row)), row) << r.name;
    }
    QAccessibleInterface* rootRow = rowNamed(tree, text(root));
    ASSERT_NE(rootRow, nullptr);
    EXPECT_EQ(rootRow->text(QAccessible::Description), "Directory");
    EXPECT_TRUE(rootRow->state().expanded);

    // The state follows the boxes at once.
    w.ckTable->setChecked(true);
    EXPECT_FALSE(rowNamed(tree, "stations.dbf")->state().disabled);
    w.ckVector->setChecked(false);
    EXPECT_TRUE(rowNamed(tree, "roads.shp")->state().disabled);

    // Rows of a tree listed anew are new rows, and stale ones are no longer offered.
    w.ConnectToServer(m_tree.path());
    EXPECT_EQ(tree->childCount(), 2) << "the header and the root";
}

TEST_F(AccessibilityTest, TheRenderedPageExposesItsText)
{
    writeFile(m_tree / "roads.shp", "shp");
    writeFile(m_tree / "roads.shp.xml", "<metadata><idinfo><citation><citeinfo><title>Accessible roads</title>"
                                        "</citeinfo></citation></idinfo></metadata>");
    TdlgAtlasdesk& w = window();
    EXPECT_EQ(qgetenv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY"), "1")
        << "the program lets its pages reach assistive technology";
    w.resize(900, 700);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QAccessible::setActive(true); // as a screen reader would
    w.PageControl1->setCurrentWidget(w.TabXSL);
    QModelIndex root = connectAndList();
    ASSERT_TRUE(root.isValid());
    bool rendered = false;
    QObject::connect(w.wbXSL, &BrowserPane::rendered, &w, [&](bool) { rendered = true; });
    w.tvXMLTree->clearSelection();
    w.tvXMLTree->addToSelection(child(root, "roads.shp"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rendered; }, 30000)) << "the page did not render";
    QAccessibleInterface* page = QAccessible::queryAccessibleInterface(w.wbXSL);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return exposesText(page, "Accessible roads"); }, 30000))
        << "the page's text is not in its accessible tree";
    QAccessible::setActive(false);
}

TEST_F(AccessibilityTest, TheSearchFieldsSayWhatTheyAskFor)
{
    // A field without a name is announced as "edit text": each says what it takes.
    TdlgAtlasdesk& w = window();
    QAccessible::setActive(true);
    const struct {
        const char* field;
        QString name;
    } cases[] = {
        {"edSearch", QStringLiteral("Find data sets")},
        {"edWest", QStringLiteral("West longitude, degrees")},
        {"edEast", QStringLiteral("East longitude, degrees")},
        {"edSouth", QStringLiteral("South latitude, degrees")},
        {"edNorth", QStringLiteral("North latitude, degrees")},
    };
    for (const auto& c : cases) {
        auto* field = w.findChild<QLineEdit*>(QLatin1String(c.field));
        ASSERT_NE(field, nullptr) << c.field;
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(field);
        ASSERT_NE(iface, nullptr) << c.field;
        EXPECT_EQ(iface->role(), QAccessible::EditableText) << c.field;
        EXPECT_EQ(iface->text(QAccessible::Name), c.name) << c.field;
    }
    QAccessible::setActive(false);
}

} // namespace
