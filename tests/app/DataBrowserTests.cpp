#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include "AppFixture.h"
#include "app/CategoryIcons.h"

namespace {

using testutil::makeDir;
using testutil::writeFile;

class DataBrowserTest : public AppFixture {
protected:
    void makeTree()
    {
        const std::string d = m_tree.path();
        makeDir(d + "info");
        makeDir(d + "INFO");
        makeDir(d + "dem");
        writeFile(d + "dem/hdr.adf", "grid");
        writeFile(d + "dem.aux", "aux");
        makeDir(d + "empty");
        makeDir(d + "lakes.shp");               // a directory named like a data set
        writeFile(d + "roads.shp", "shp");
        writeFile(d + "roads.dbf", "dbf");      // part of the shapefile
        writeFile(d + "stations.dbf", "dbf");
        writeFile(d + "README", "no dot");
        writeFile(d + "trailing.", "ends with a dot");
        writeFile(d + "report.pdf", "pdf");
        writeFile(d + "Zones.shp", "shp");
        writeFile(d + "roads.shp.xml", "<metadata><idinfo><citation><citeinfo><title>Roads</title>"
                                       "</citeinfo></citation></idinfo></metadata>");
    }
};

TEST_F(DataBrowserTest, ListingFollowsTheDirectoryRules)
{
    makeTree();
    TdlgAtlasdesk& w = window();
    w.ConnectToServer(m_tree.path());
    QModelIndex root = w.tvXMLTree->rootNode();
    ASSERT_TRUE(root.isValid());
    EXPECT_EQ(rowCount(root), 0) << "connecting lists nothing";
    EXPECT_EQ(root.data(StoreTreeModel::PictureRole).toInt(), catCatalog);
    EXPECT_EQ(w.stItems->text(), "Items: 1");
    EXPECT_EQ(w.stSelected->text(), "Selected: 1") << "the root is selected";

    expand(root);
    waitForListings();
    EXPECT_EQ(childTexts(root),
              (QStringList{"dem", "empty", "INFO", "lakes.shp", "lakes.shp/", "report.pdf",
                           "roads.shp", "stations.dbf", "Zones.shp"}))
        << "info, dem as a directory, roads.dbf, README and trailing. are not shown";
    EXPECT_EQ(w.stItems->text(), "Items: 10");
    QModelIndex dem = child(root, "dem");
    EXPECT_EQ(dem.data(StoreTreeModel::PictureRole).toInt(), catRaster) << "the grid through its .aux";
    EXPECT_EQ(fileOf(dem)->XMLPath, m_tree.path() + "dem/metadata.xml");
    int lakeDirectories = 0;
    for (int i = 0; i < rowCount(root); ++i)
        if (text(childAt(root, i)) == "lakes.shp")
            lakeDirectories += hasChildren(childAt(root, i)) ? 1 : 0;
    EXPECT_EQ(lakeDirectories, 1) << "once as a directory, once as a leaf";

    QModelIndex empty = child(root, "empty");
    EXPECT_TRUE(hasChildren(empty)) << "an expand button before the first listing";
    expand(empty);
    waitForListings();
    EXPECT_FALSE(hasChildren(empty)) << "and none after it";
}

TEST_F(DataBrowserTest, ADirectoryIsListedOnceUntilRefresh)
{
    makeTree();
    TdlgAtlasdesk& w = window();
    QModelIndex root = connectAndExpand();
    const int before = rowCount(root);
    writeFile(m_tree / "late.shp", "shp");
    collapse(root);
    expand(root);
    waitForListings();
    EXPECT_EQ(rowCount(root), before) << "expanding again lists nothing";

    QModelIndex empty = child(root, "empty");
    expand(empty);
    waitForListings();
    writeFile(m_tree / "empty/new.shp", "shp");
    w.tvXMLTree->setCurrentIndex(root);
    w.mnuRefreshClick();
    waitForListings();
    root = w.tvXMLTree->rootNode();
    EXPECT_EQ(rowCount(root), before + 1);
    EXPECT_TRUE(childTexts(root).contains("late.shp"));
    empty = child(root, "empty");
    EXPECT_FALSE(isExpanded(empty)) << "refreshed children come back unexpanded";
    EXPECT_TRUE(hasChildren(empty));
    EXPECT_FALSE(isListed(empty));

    // Refresh on a data set lists its directory again.
    writeFile(m_tree / "later.pdf", "pdf");
    w.tvXMLTree->setCurrentIndex(child(root, "roads.shp"));
    w.mnuRefreshClick();
    waitForListings();
    EXPECT_TRUE(childTexts(w.tvXMLTree->rootNode()).contains("later.pdf"));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(DataBrowserTest, ReconnectingRebuildsFromScratch)
{
    makeTree();
    TdlgAtlasdesk& w = window();
    connectAndExpand();
    EXPECT_GT(w.storeTree()->nodeCount(), 1);
    w.ConnectToServer(m_tree.path());
    EXPECT_EQ(w.storeTree()->rowCount(), 1);
    EXPECT_EQ(rowCount(w.tvXMLTree->rootNode()), 0);
    EXPECT_EQ(w.stItems->text(), "Items: 1");
    ASSERT_EQ(w.SelectedFiles.size(), 1u);
    EXPECT_EQ(w.SelectedFiles[0], fileOf(w.tvXMLTree->rootNode()));
}

TEST_F(DataBrowserTest, UncheckingACategoryDropsItsNodesFromTheSelection)
{
    makeTree();
    TdlgAtlasdesk& w = window();
    QModelIndex root = connectAndExpand();
    w.tvXMLTree->clearSelection();
    w.tvXMLTree->addToSelection(child(root, "roads.shp"));
    w.tvXMLTree->addToSelection(child(root, "empty"));
    w.tvXMLTree->addToSelection(child(root, "Zones.shp"));
    EXPECT_EQ(w.stSelected->text(), "Selected: 3");
    w.ckVector->click();
    EXPECT_FALSE(w.ckVector->isChecked());
    EXPECT_EQ(w.stSelected->text(), "Selected: 1");
    EXPECT_EQ(selectedTexts(), QStringList{"empty"});
    ASSERT_EQ(w.SelectedFiles.size(), 1u);
    EXPECT_EQ(w.SelectedFiles[0]->Name, "empty/");
    w.ckVector->click();
    EXPECT_EQ(w.stSelected->text(), "Selected: 1") << "checking again selects nothing back";
}

TEST_F(DataBrowserTest, GreyedNodesCannotBeSelected)
{
    makeTree();
    TdlgAtlasdesk& w = window();
    QModelIndex root = connectAndExpand();
    w.resize(600, 700);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QModelIndex report = child(root, "report.pdf"); // Document: unchecked at start
    const QRect rect = w.tvXMLTree->visualRect(report);
    QTest::mouseClick(w.tvXMLTree->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_FALSE(isSelected(report));
    EXPECT_EQ(w.stSelected->text(), "Selected: 0");
    EXPECT_TRUE(w.SelectedFiles.empty());

    // A right click with Ctrl adds a node; one on empty space clears.
    QModelIndex roads = child(root, "roads.shp");
    QTest::mouseClick(w.tvXMLTree->viewport(), Qt::LeftButton, {},
                      w.tvXMLTree->visualRect(child(root, "dem")).center());
    QTest::mouseClick(w.tvXMLTree->viewport(), Qt::RightButton, Qt::ControlModifier,
                      w.tvXMLTree->visualRect(roads).center());
    w.popXMLTree->close();
    EXPECT_EQ(selectedTexts(), (QStringList{"dem", "roads.shp"}));
    QTest::mouseClick(w.tvXMLTree->viewport(), Qt::RightButton, {},
                      QPoint(5, w.tvXMLTree->viewport()->height() - 3));
    w.popXMLTree->close();
    EXPECT_EQ(w.tvXMLTree->selectionCount(), 0);
    EXPECT_EQ(w.stSelected->text(), "Selected: 0");
}

TEST_F(DataBrowserTest, GreyedNodesAreDrawnByHand)
{
    makeTree();
    TdlgAtlasdesk& w = window();
    QModelIndex root = connectAndExpand();
    w.resize(600, 700);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.tvXMLTree->clearSelection();
    QApplication::processEvents();
    const QImage shot = w.tvXMLTree->viewport()->grab().toImage();
    const qreal ratio = shot.devicePixelRatio();
    QModelIndex report = child(root, "report.pdf");
    const QRect row = w.tvXMLTree->rowRect(report);
    const QColor grey = w.tvXMLTree->palette().color(QPalette::Disabled, QPalette::Text);
    const QColor dots = w.tvXMLTree->palette().color(QPalette::Active, QPalette::Dark);
    const int indent = w.tvXMLTree->indentation();
    // Grey text right of the picture.
    int greyPixels = 0;
    for (int x = row.left() + 2 * indent + 16 + 5; x < row.left() + 2 * indent + 80; ++x)
        for (int y = row.top(); y <= row.bottom(); ++y)
            if (shot.pixelColor(QPoint(x, y) * ratio) == grey)
                ++greyPixels;
    EXPECT_GT(greyPixels, 5) << "the text is written in the grey-text colour";
    // The connector toward the picture: every other pixel set, none solid.
    const int lineX = row.left() + indent + indent / 2 - 1;
    int dotted = 0;
    bool solid = false;
    for (int y = row.top(); y <= row.bottom(); ++y) {
        int count = 0;
        for (int x = lineX; x < row.left() + 2 * indent; ++x) {
            const bool set = shot.pixel(QPoint(x, y) * ratio) == dots.rgb();
            const bool nextSet = shot.pixel(QPoint(x + 1, y) * ratio) == dots.rgb();
            count += set ? 1 : 0;
            solid = solid || (set && nextSet);
        }
        dotted = std::max(dotted, count);
    }
    EXPECT_GE(dotted, 4);
    EXPECT_FALSE(solid) << "dotted, not solid";
    // The picture in its normal look: the same pixels as the category picture.
    const QImage picture = categoryPixmap(catDocument, ratio).toImage();
    const QPoint picOrigin(row.left() + 2 * indent,
                           row.top() + (row.bottom() - row.top()) / 2 - 8);
    int same = 0, opaque = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const QColor p = picture.pixelColor(QPoint(x, y) * ratio);
            if (p.alpha() != 255)
                continue;
            ++opaque;
            if (shot.pixelColor((picOrigin + QPoint(x, y)) * ratio) == p)
                ++same;
        }
    EXPECT_GT(opaque, 20);
    EXPECT_EQ(same, opaque);
}

TEST_F(DataBrowserTest, SelectChildrenSelectsTheShownSubtreeDeepestFirst)
{
    const std::string d = m_tree.path();
    writeFile(d + "a/b/deep.shp", "shp");
    writeFile(d + "a/b/skip.pdf", "pdf");
    writeFile(d + "a/top.shp", "shp");
    TdlgAtlasdesk& w = window();
    w.ConnectToServer(m_tree.path());
    QModelIndex root = w.tvXMLTree->rootNode();
    w.tvXMLTree->setCurrentIndex(root);
    w.mnuSelectChildrenClick();
    waitForListings();
    EXPECT_EQ(selectedTexts(), (QStringList{"deep.shp", "b", "top.shp", "a",
                                            QString::fromStdString(text(root).toStdString())}))
        << "the unlisted subtree was listed; the greyed pdf is left out";
    EXPECT_EQ(w.tvXMLTree->primaryNode(), root);
    EXPECT_EQ(w.stSelected->text(), "Selected: 5");
    ASSERT_EQ(w.SelectedFiles.size(), 5u);
    EXPECT_EQ(w.SelectedFiles.front()->Name, "deep.shp");
    EXPECT_EQ(w.SelectedFiles.back(), fileOf(root));

    w.mnuUnselectAllClick();
    EXPECT_EQ(w.tvXMLTree->selectionCount(), 0);
    w.mnuSelectChildrenClick();
    waitForListings();
    EXPECT_EQ(w.tvXMLTree->selectionCount(), 0) << "nothing selected: nothing changes";
}

TEST_F(DataBrowserTest, ExpandAllEndsOnSymbolicLinkCycles)
{
    const std::string d = m_tree.path();
    writeFile(d + "x/y/data.shp", "shp");
    std::filesystem::create_directory_symlink(d + "x", d + "x/y/back");
    TdlgAtlasdesk& w = window();
    w.ConnectToServer(m_tree.path());
    w.mnuXMLExpandAllClick();
    waitForListings();
    QModelIndex y = child(child(w.tvXMLTree->rootNode(), "x"), "y");
    ASSERT_TRUE(y.isValid());
    QModelIndex back = child(y, "back");
    ASSERT_TRUE(back.isValid());
    EXPECT_FALSE(isListed(back)) << "the link to an ancestor is not entered";
    EXPECT_TRUE(m_errors.isEmpty());
    w.mnuSelectChildrenClick();
    waitForListings();
    EXPECT_GT(w.tvXMLTree->selectionCount(), 0);
}

TEST_F(DataBrowserTest, CollapseAllNeedsATree)
{
    TdlgAtlasdesk& w = window();
    w.mnuXMLCollapseAllClick();
    EXPECT_EQ(m_errors, QStringList{"Invalid index."});
    makeTree();
    QModelIndex root = connectAndExpand();
    w.tvXMLTree->setCurrentIndex(child(root, "roads.shp"));
    w.mnuXMLCollapseAllClick();
    EXPECT_FALSE(isExpanded(w.tvXMLTree->rootNode()));
}

TEST_F(DataBrowserTest, RootsThatAreNoDirectoryStillShowTheirPath)
{
    TdlgAtlasdesk& w = window();
    w.ConnectToServer(m_tree.path() + "missing");
    waitForListings(); // what the disk says of the root comes from a worker
    QModelIndex root = w.tvXMLTree->rootNode();
    ASSERT_TRUE(root.isValid());
    EXPECT_EQ(text(root).toStdString(), m_tree.path() + "missing");
    EXPECT_FALSE(hasChildren(root));
    expand(root);
    waitForListings();
    EXPECT_EQ(rowCount(root), 0);

    w.ConnectToServer("/");
    EXPECT_EQ(text(w.tvXMLTree->rootNode()), "/");
    EXPECT_EQ(w.windowTitle(), "Atlasdesk.View - /");
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(DataBrowserTest, AnInfoRootIsAnInvalidIndex)
{
    makeDir(m_tree / "info");
    TdlgAtlasdesk& w = window();
    const QString caption = w.windowTitle();
    try {
        w.ConnectToServer(m_tree.path() + "info");
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid index");
    }
    EXPECT_EQ(w.ServerRoot, m_tree.path() + "info");
    EXPECT_EQ(w.storeTree()->rowCount(), 0);
    EXPECT_EQ(w.windowTitle(), caption);
}

TEST_F(DataBrowserTest, OpenFilesAsksBeforeOpeningSeveral)
{
    makeTree();
    TdlgAtlasdesk& w = window();
    QModelIndex root = connectAndExpand();
    w.tvXMLTree->clearSelection();
    for (const char* name : {"roads.shp", "Zones.shp", "dem"})
        w.tvXMLTree->addToSelection(child(root, name));
    QString question;
    whenModal([&question](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        question = box->windowTitle() + "|" + box->text();
        box->button(QMessageBox::Cancel)->click();
    });
    w.OnMnuOpenFilesClick();
    EXPECT_EQ(question, "Confirm|Open 3 files");
    EXPECT_TRUE(m_launched.empty());

    whenModal([](QWidget* modal) {
        qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
    });
    w.OnMnuOpenFilesClick();
    EXPECT_EQ(m_launched, (std::vector<std::string>{m_tree / "roads.shp", m_tree / "Zones.shp"}));
    EXPECT_EQ(m_errors, QStringList{QString::fromStdString("File '" + m_tree.path() +
                                                           "dem/metadata' not found.")});
}

TEST_F(DataBrowserTest, OneSelectedFileOpensWithoutAQuestion)
{
    makeTree();
    TdlgAtlasdesk& w = window();
    QModelIndex root = connectAndExpand();
    w.tvXMLTree->clearSelection();
    w.tvXMLTree->addToSelection(child(root, "report.pdf"));
    w.ckDocument->click();
    w.tvXMLTree->clearSelection();
    w.tvXMLTree->addToSelection(child(root, "report.pdf"));
    w.OnMnuOpenFilesClick();
    EXPECT_EQ(m_launched, std::vector<std::string>{m_tree / "report.pdf"});
}

TEST_F(DataBrowserTest, NewServerConnectsAndAppendsOnlyUnknownRoots)
{
    TdlgAtlasdesk& w = window();
    std::string picked = m_tree.path() + "new";
    makeDir(picked);
    int asked = 0;
    w.folderPicker = [&](const QString& title, const QString& root, std::string& folder) {
        ++asked;
        EXPECT_EQ(title, "Select the root directory");
        EXPECT_TRUE(root.isEmpty());
        if (picked.empty())
            return false;
        folder = picked;
        return true;
    };
    const int entriesBefore = w.mnuConnectToXML->actions().size();
    w.mnuNewServerClick();
    EXPECT_EQ(w.windowTitle().toStdString(), "Atlasdesk.View - " + picked);
    ASSERT_EQ(w.mnuConnectToXML->actions().size(), entriesBefore + 1);
    EXPECT_EQ(w.mnuConnectToXML->actions().last()->text().toStdString(), picked)
        << "appended at the end";
    w.mnuNewServerClick();
    EXPECT_EQ(w.mnuConnectToXML->actions().size(), entriesBefore + 1) << "known already";
    {
        tXMLDocument config(m_program / "AtlasdeskView.ini.xml");
        EXPECT_EQ(config.GetNodeTexts("atlasdesk/directories/servers/path"),
                  (tVectorOfString{"/srv/b", "/srv/A", picked}));
    }
    picked.clear();
    w.mnuNewServerClick();
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(w.mnuConnectToXML->actions().size(), entriesBefore + 1) << "cancel changes nothing";

    // Choosing an entry connects to its server.
    w.ConnectToServer("/");
    w.mnuConnectToXML->actions().last()->trigger();
    EXPECT_EQ(w.ServerRoot, m_tree.path() + "new");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

// Only visible nodes can be selected: a collapse drops the nodes it hides,
// so "&Open file(s)" never acts on what the user cannot see.
TEST_F(DataBrowserTest, NodesACollapseHidesLeaveTheSelection)
{
    const std::string d = m_tree.path();
    for (const char* f : {"a/one.shp", "a/two.shp", "a/deep/three.shp", "b/four.shp", "b/five.shp", "six.shp"})
        writeFile(d + f, "shp");
    TdlgAtlasdesk& w = window();
    QModelIndex root = connectAndExpand();
    QModelIndex a = child(root, "a");
    QModelIndex b = child(root, "b");
    expand(a);
    expand(b);
    waitForListings();
    QModelIndex deep = child(a, "deep");
    expand(deep);
    waitForListings();

    const auto selectAll = [&] {
        w.tvXMLTree->clearSelection();
        for (QModelIndex n : {child(a, "one.shp"), child(a, "two.shp"), child(deep, "three.shp"), child(b, "four.shp"),
                            child(b, "five.shp"), child(root, "six.shp")})
            w.tvXMLTree->addToSelection(n);
        ASSERT_EQ(w.stSelected->text(), "Selected: 6");
    };

    // One folder collapsed: its three nodes (one of them two levels down) go.
    selectAll();
    collapse(a);
    EXPECT_EQ(selectedTexts(), (QStringList{"four.shp", "five.shp", "six.shp"}));
    EXPECT_EQ(w.stSelected->text(), "Selected: 3");
    EXPECT_EQ(w.SelectedFiles.size(), 3u);

    // "&Collapse all": five hidden nodes leave; Open file(s) opens the one left.
    expand(a);
    selectAll();
    w.mnuXMLCollapseAll->trigger();
    EXPECT_EQ(selectedTexts(), QStringList{}) << "the root's children are all hidden";
    EXPECT_EQ(w.stSelected->text(), "Selected: 0");
    expand(root);
    w.tvXMLTree->addToSelection(child(root, "six.shp"));
    w.OnMnuOpenFilesClick();
    EXPECT_EQ(m_launched, std::vector<std::string>{d + "six.shp"});
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

} // namespace
