// The server tree at scale: the selection order kept through the filter,
// the column sized to the rows on screen, the listing's extension test.
#include <QCheckBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include "AppFixture.h"
#include "model/ListingService.h"
#include "model/StoreTreeModel.h"

namespace {

using testutil::writeFile;

class ServerTreeTest : public AppFixture {
protected:
    void showWindow()
    {
        TdlgAtlasdesk& w = window();
        w.resize(600, 700);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        QApplication::processEvents();
    }
    void ctrlClick(QModelIndex node)
    {
        QTest::mouseClick(window().tvXMLTree->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          window().tvXMLTree->visualRect(node).center());
    }
    QStringList selectedFileNames()
    {
        QStringList names;
        for (const tXMLFile* f : window().SelectedFiles)
            names << QString::fromStdString(f->Name);
        return names;
    }
};

TEST_F(ServerTreeTest, FilterClickKeepsTheOrderOfTheRemainingSelection)
{
    for (const char* name : {"a.shp", "b.tif", "c.shp", "d.tif", "e.mxd"})
        writeFile(m_tree / name, "data");
    TdlgAtlasdesk& w = window();
    QModelIndex root = connectAndExpand();
    showWindow();
    w.tvXMLTree->clearSelection();
    // Selected in an order of the user's, not the tree's.
    for (const char* name : {"e.mxd", "b.tif", "c.shp", "d.tif", "a.shp"})
        ctrlClick(child(root, QString::fromLatin1(name)));
    ASSERT_EQ(selectedTexts(), (QStringList{"e.mxd", "b.tif", "c.shp", "d.tif", "a.shp"}));

    w.ckRaster->click();
    EXPECT_EQ(selectedTexts(), (QStringList{"e.mxd", "c.shp", "a.shp"}));
    EXPECT_EQ(selectedFileNames(), (QStringList{"e.mxd", "c.shp", "a.shp"}));
    EXPECT_EQ(w.stSelected->text(), "Selected: 3");
    EXPECT_FALSE(isSelected(child(root, "b.tif")));
    EXPECT_TRUE(isSelected(child(root, "c.shp")));

    // Checking the box again selects nothing again; a later Ctrl-click
    // still adds at the end.
    w.ckRaster->click();
    EXPECT_EQ(selectedTexts(), (QStringList{"e.mxd", "c.shp", "a.shp"}));
    ctrlClick(child(root, "d.tif"));
    EXPECT_EQ(selectedTexts(), (QStringList{"e.mxd", "c.shp", "a.shp", "d.tif"}));

    // Every category dropped: nothing is left, the views are told once more.
    w.ckVector->click();
    w.ckGIS->click();
    w.ckRaster->click();
    EXPECT_TRUE(selectedTexts().isEmpty());
    EXPECT_TRUE(w.SelectedFiles.empty());
    EXPECT_EQ(w.stSelected->text(), "Selected: 0");
}

TEST_F(ServerTreeTest, SelectChildrenThenFilterOverManyNodes)
{
    // Enough nodes that the rows of one folder form runs broken by the filter.
    testutil::makeDir(m_tree / "folder");
    for (int i = 0; i < 300; ++i)
        writeFile(m_tree / ("folder/n" + std::to_string(1000 + i) + (i % 3 ? ".shp" : ".tif")), "data");
    TdlgAtlasdesk& w = window();
    QModelIndex root = connectAndExpand();
    QModelIndex folder = child(root, "folder");
    w.tvXMLTree->setCurrentIndex(folder);
    w.mnuSelectChildrenClick();
    waitForListings();
    ASSERT_EQ(w.tvXMLTree->selectionCount(), 301);
    EXPECT_EQ(w.SelectedFiles.back(), fileOf(folder)) << "the folder comes last, after its children";
    EXPECT_EQ(w.SelectedFiles.front()->Name, "n1000.tif");

    w.ckRaster->click();
    ASSERT_EQ(w.tvXMLTree->selectionCount(), 201);
    ASSERT_EQ(w.SelectedFiles.size(), 201u);
    EXPECT_EQ(w.SelectedFiles.front()->Name, "n1001.shp");
    EXPECT_EQ(w.SelectedFiles.back(), fileOf(folder));
    for (int i = 0; i < rowCount(folder); ++i) {
        QModelIndex n = childAt(folder, i);
        EXPECT_EQ(isSelected(n), fileOf(n)->Ext == ".shp") << text(n).toStdString();
    }
}

TEST_F(ServerTreeTest, ColumnFitsTheRowsOnScreenAndWidensWhileScrolling)
{
    for (int i = 0; i < 200; ++i)
        writeFile(m_tree / ("a" + std::to_string(100 + i) + ".shp"), "data");
    const std::string longName = "zz_" + std::string(120, 'w') + ".shp";
    writeFile(m_tree / longName, "data");
    TdlgAtlasdesk& w = window();
    QModelIndex root = connectAndExpand();
    showWindow();
    w.tvXMLTree->scrollToTop();
    QApplication::processEvents();
    QModelIndex longNode = child(root, QString::fromStdString(longName));
    const int needed = QFontMetrics(w.tvXMLTree->font()).horizontalAdvance(text(longNode)) +
                       2 * w.tvXMLTree->indentation();
    const int atTop = w.tvXMLTree->columnWidth(0);
    EXPECT_GE(atTop, QFontMetrics(w.tvXMLTree->font()).horizontalAdvance(QStringLiteral("a100.shp")))
        << "the rows on screen fit";
    EXPECT_LT(atTop, needed) << "the long name is far below the screen";

    w.tvXMLTree->scrollTo(longNode);
    QApplication::processEvents();
    EXPECT_GE(w.tvXMLTree->columnWidth(0), needed) << "scrolled into view, the long name fits";
    EXPECT_GT(w.tvXMLTree->horizontalScrollBar()->maximum(), 0) << "and can be scrolled to";

    w.tvXMLTree->scrollToTop();
    QApplication::processEvents();
    EXPECT_GE(w.tvXMLTree->columnWidth(0), needed) << "the column does not narrow while scrolling";

    // A new layout (collapsing and expanding) fits the rows on screen again.
    collapse(root);
    expand(root);
    waitForListings();
    w.tvXMLTree->scrollToTop();
    QApplication::processEvents();
    EXPECT_LT(w.tvXMLTree->columnWidth(0), needed);
}

TEST_F(ServerTreeTest, ListingTestsExtensionsAsPartsOfTheConfiguredOnes)
{
    // Configured: shp tif aux mxd dbf pdf py. An extension passes when it is
    // a configured one or the start of one; the category then decides.
    const struct {
        const char* name;
        bool listed;
    } cases[] = {
        {"a.shp", true},  {"b.SHP", true}, {"c.ti", true},  {"d.t", true},   {"e.p", true},
        {"f.hp", false},  {"g.shpx", false}, {"h.xml", false}, {"i.", false}, {"j", false},
        {"k.tif.", false}, {"l.mx", true}, {"m.pdfx", false},
    };
    for (const auto& c : cases)
        writeFile(m_tree / c.name, "data");
    window();
    QModelIndex root = connectAndExpand();
    const QStringList shown = childTexts(root);
    for (const auto& c : cases) {
        // A name that passes the test is still left out when no category
        // takes it; only the ones a category takes are asked for here.
        const tXMLFile probe(m_tree / c.name);
        const bool expected = c.listed && probe.Category != catUnknown;
        EXPECT_EQ(shown.contains(QString::fromLatin1(c.name)), expected) << c.name;
    }
    EXPECT_TRUE(shown.contains("a.shp"));
    EXPECT_FALSE(shown.contains("g.shpx"));
}

// A window goes with its model and its views; whichever goes first, the view
// keeps nothing of a model that is gone: no selection order of its nodes
// (reading one would read freed nodes), no root, no items.
TEST_F(ServerTreeTest, AModelThatGoesBeforeItsViewTakesTheSelectionWithIt)
{
    for (const char* name : {"a.shp", "b.shp", "c.shp"})
        writeFile(m_tree / name, "x");
    window(); // reads the configuration the listing follows
    ListingService service;
    auto* model = new StoreTreeModel(&service);
    ServerTree view;
    view.setStoreModel(model);
    const std::string bare = ExcludeTrailingPathDelimiter(m_tree.path());
    const QModelIndex root = model->setRoot(
        std::make_unique<tXMLFile>(tXMLFile::Fields{m_tree.path() + "metadata.xml", catDirectory,
                                                    ExtractFileName(bare) + "/", ExtractFilePath(bare), ""}),
        QStringLiteral("root"));
    QSignalSpy loaded(model, &StoreTreeModel::directoryLoaded);
    ASSERT_TRUE(model->list(root));
    ASSERT_TRUE(loaded.wait(20000));
    ASSERT_EQ(model->rowCount(root), 3);
    view.expand(root);
    view.addToSelection(model->index(0, 0, root));
    view.addToSelection(model->index(2, 0, root));
    ASSERT_EQ(view.selectionCount(), 2);
    QSignalSpy told(&view, &ServerTree::itemSelectionChanged);

    delete model;

    EXPECT_EQ(view.storeModel(), nullptr);
    EXPECT_EQ(view.selectionCount(), 0);
    EXPECT_TRUE(view.selectionOrder().empty());
    EXPECT_FALSE(view.primaryNode().isValid());
    EXPECT_FALSE(view.rootNode().isValid());
    // Whoever owned the model is going too: nobody is told.
    EXPECT_EQ(told.count(), 0);
}

} // namespace
