// Finding data sets in the window: the search field, the results in the
// tree's place, revealing a result in the tree, the extent, Esc.
#include <sys/time.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QTimer>
#include <QClipboard>
#include <QMimeData>
#include <QStandardPaths>
#include <QLabel>
#include <QListView>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <tuple>

#include "AppFixture.h"
#include "PrivateServer.h"
#include "TestDatabase.h"
#include "catalogue/DataSetRows.h"
#include "catalogue/SearchRows.h"
#include "model/SearchFields.h"
#include "app/SearchPane.h"
#include "app/SearchResults.h"
#include "model/SearchService.h"
#include "model/StoreIndexer.h"
#include "app/WorldMap.h"
#include "model/SearchSnippet.h"

namespace {

std::string metadataWithTitle(const std::string& title, double west = 6, double east = 7, double south = 46,
                              double north = 47, const std::string& abstract = "", const std::string& date = "")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><metadata><idinfo><citation><citeinfo><title>" + title +
           "</title><pubdate>" + date + "</pubdate></citeinfo></citation><descript><abstract>" + abstract +
           "</abstract></descript><spdom><bounding><westbc>" + std::to_string(west) + "</westbc><eastbc>" +
           std::to_string(east) + "</eastbc><northbc>" + std::to_string(north) + "</northbc><southbc>" +
           std::to_string(south) + "</southbc></bounding></spdom></idinfo></metadata>";
}

class SearchWindowTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        // The test configuration with the bounding box fields.
        std::string config = kTestConfig;
        config.insert(config.find("</MetadataDOM>"),
                      "<West><XML_Path>idinfo/spdom/bounding/westbc</XML_Path></West>"
                      "<East><XML_Path>idinfo/spdom/bounding/eastbc</XML_Path></East>"
                      "<North><XML_Path>idinfo/spdom/bounding/northbc</XML_Path></North>"
                      "<South><XML_Path>idinfo/spdom/bounding/southbc</XML_Path></South>"
                      "<ProdDesc><XML_Path>idinfo/descript/abstract</XML_Path></ProdDesc>"
                      "<CreationDate><XML_Path>idinfo/citation/citeinfo/pubdate</XML_Path></CreationDate>");
        testutil::writeFile(m_program / "AtlasdeskView.ini.xml", config);
        dataset("hydro/sandre/rivieres.shp", "La Rivière Bleue", 6, 7, 46, 47);
        dataset("roads.shp", "Routes nationales", 6, 7, 46, 47);
        dataset("other/lakes.shp", "Lacs d'Amérique", -100, -90, 40, 50);
        dataset("other/notes.pdf", "Rivière notes", 6, 7, 46, 47);
    }
    void dataset(const std::string& rel, const std::string& title, double w, double e, double s, double n,
                 const std::string& abstract = "", const std::string& date = "")
    {
        testutil::writeFile(m_tree / rel, "x");
        testutil::writeFile(m_tree / (rel + ".xml"), metadataWithTitle(title, w, e, s, n, abstract, date));
    }
    // The window connected to the test tree, its index built.
    QModelIndex connected()
    {
        window().searchIndexFolder = QString::fromStdString(m_cache.path());
        QModelIndex root = connectAndExpand();
        waitForIndex();
        return root;
    }
    void waitForIndex()
    {
        auto* indexer = window().findChild<StoreIndexer*>();
        ASSERT_NE(indexer, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !indexer->isRunning(); }, 60000));
    }
    SearchPane& pane() { return *window().searchPane; }
    // Types `words` and waits for the results to replace the tree.
    QStringList search(const QString& words)
    {
        const int before = pane().answersShown();
        pane().edSearch->clear();
        QTest::keyClicks(pane().edSearch, words);
        return waitForResults(before);
    }
    // The results of the next answer after `before` answers.
    QStringList waitForResults(int before)
    {
        QStringList texts;
        // The answer comes back from the search worker.
        if (!QTest::qWaitFor([&] { return pane().answersShown() > before; }, 30000))
            ADD_FAILURE() << "no results shown";
        EXPECT_TRUE(pane().resultsShown());
        for (const SearchHit& h : pane().results())
            texts << h.relPath;
        texts.sort();
        return texts;
    }
    QStringList expandedTexts(const QModelIndex& node)
    {
        QStringList list;
        if (isExpanded(node))
            list << text(node);
        for (int i = 0; i < rowCount(node); ++i)
            list << expandedTexts(childAt(node, i));
        return list;
    }
    testutil::TempDir m_cache;
};

// Mouse and wheel events at a point of the map.
void mouse(WorldMap& map, QEvent::Type type, Qt::MouseButton button, QPointF at,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, at, map.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : button, held, modifiers);
    QApplication::sendEvent(&map, &e);
}

void drag(WorldMap& map, Qt::MouseButton button, QPointF from, QPointF to,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    mouse(map, QEvent::MouseButtonPress, button, from, modifiers);
    mouse(map, QEvent::MouseMove, button, (from + to) / 2, modifiers);
    mouse(map, QEvent::MouseMove, button, to, modifiers);
    mouse(map, QEvent::MouseButtonRelease, button, to, modifiers);
}

void click(WorldMap& map, QPointF at)
{
    mouse(map, QEvent::MouseButtonPress, Qt::LeftButton, at);
    mouse(map, QEvent::MouseButtonRelease, Qt::LeftButton, at);
}

void wheel(WorldMap& map, QPointF at, int delta)
{
    QWheelEvent e(at, map.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(&map, &e);
}

bool near(QPointF a, QPointF b, double tolerance = 1e-6)
{
    return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance;
}

TEST(WorldMapTest, ZoomPanPickAnExtentAndClickAResultsBox)
{
    WorldMap map;
    map.resize(720, 360); // two pixels a degree
    QSignalSpy picked(&map, &WorldMap::extentPicked);
    QSignalSpy clicked(&map, &WorldMap::resultClicked);
    EXPECT_TRUE(near(map.toDegrees({0, 0}), {-180, 90}));

    // The wheel zooms about the pointer: the point under it stays.
    const QPointF geneva = map.toWidget({6.15, 46.2});
    wheel(map, geneva, 3 * 120);
    EXPECT_LT(map.view().width(), 360 / 1.9);
    EXPECT_TRUE(near(map.toDegrees(geneva), {6.15, 46.2}, 1e-6));
    EXPECT_NEAR(map.view().width(), 2 * map.view().height(), 1e-9) << "the map keeps its shape";
    // Dragging with the right button (or Shift and the left) moves the view.
    const QRectF before = map.view();
    drag(map, Qt::RightButton, {400, 200}, {300, 200});
    EXPECT_NEAR(map.view().left(), before.left() + 100 * before.width() / 720, 1e-9);
    EXPECT_NEAR(map.view().top(), before.top(), 1e-9);
    drag(map, Qt::LeftButton, {300, 200}, {300, 100}, Qt::ShiftModifier);
    EXPECT_LT(map.view().top(), before.top()) << "dragged down: the view goes south";
    EXPECT_TRUE(picked.isEmpty()) << "moving the view picks no extent";
    // Never beyond the world, nor closer than a tenth of a degree.
    for (int i = 0; i < 40; ++i)
        wheel(map, {360, 180}, 120);
    EXPECT_NEAR(map.view().width(), 0.1, 1e-9);
    for (int i = 0; i < 80; ++i)
        wheel(map, {10, 10}, -120);
    EXPECT_EQ(map.view(), QRectF(-180, -90, 360, 180));

    // A rectangle dragged with the left button, zoomed in, is in degrees.
    map.zoom(4, {0, 0});
    const QPointF a = map.toWidget({-10, 40}), b = map.toWidget({20, 50});
    drag(map, Qt::LeftButton, a, b);
    ASSERT_EQ(picked.size(), 1);
    const QList<QVariant> extent = picked.takeFirst();
    EXPECT_NEAR(extent[0].toDouble(), -10, 1e-6);
    EXPECT_NEAR(extent[1].toDouble(), 20, 1e-6);
    EXPECT_NEAR(extent[2].toDouble(), 40, 1e-6);
    EXPECT_NEAR(extent[3].toDouble(), 50, 1e-6);

    // The results' boxes; a click picks the smallest box under it, a box
    // across the antimeridian on either side.
    map.setView({-180, -90, 360, 180});
    map.setBoxes({GeoBox{5.9, 10.5, 45.8, 47.8}, GeoBox{170, -170, -20, -10}, std::nullopt, GeoBox{-180, 180, -90, 90}});
    click(map, map.toWidget({8, 47}));
    click(map, map.toWidget({-175, -15}));
    click(map, map.toWidget({175, -15}));
    click(map, map.toWidget({-40, 0}));
    ASSERT_EQ(clicked.size(), 4);
    EXPECT_EQ(clicked[0][0].toInt(), 0);
    EXPECT_EQ(clicked[1][0].toInt(), 1);
    EXPECT_EQ(clicked[2][0].toInt(), 1);
    EXPECT_EQ(clicked[3][0].toInt(), 3);
    EXPECT_EQ(map.highlighted(), 3);
    EXPECT_TRUE(picked.isEmpty()) << "a click is no rectangle";
    map.setHighlighted(2);
    EXPECT_EQ(map.highlighted(), 2) << "a result without a box can be highlighted";
    map.setHighlighted(7);
    EXPECT_EQ(map.highlighted(), -1);
}

TEST_F(SearchWindowTest, TypeChooseARevealedResultAndEscapeBackToTheTree)
{
    QModelIndex root = connected();
    ASSERT_TRUE(action("mnuSearch"));
    EXPECT_EQ(action("mnuSearch")->shortcut(), QKeySequence(QKeySequence::Find));
    window().tvXMLTree->clearSelection();
    window().tvXMLTree->setCurrentIndex(child(root, QStringLiteral("roads.shp")));
    expand(child(root, QStringLiteral("other")));
    waitForListings();
    const QStringList expandedBefore = expandedTexts(root);
    const QStringList selectedBefore = selectedTexts();
    ASSERT_EQ(selectedBefore, QStringList{QStringLiteral("roads.shp")});

    // Accents and case left out, a word prefix; the greyed Document category is not listed.
    EXPECT_EQ(search(QStringLiteral("RIVIERE")), QStringList{QStringLiteral("hydro/sandre/rivieres.shp")});
    EXPECT_EQ(pane().stkLeft->currentWidget(), pane().lvResults);
    EXPECT_EQ(pane().resultsModel->index(0).data().toString(), QStringLiteral("La Rivière Bleue"));

    // Esc: the tree exactly as it was.
    QTest::keyClick(pane().edSearch, Qt::Key_Escape);
    EXPECT_EQ(pane().stkLeft->currentWidget(), window().tvXMLTree);
    EXPECT_TRUE(pane().edSearch->text().isEmpty());
    EXPECT_EQ(expandedTexts(root), expandedBefore);
    EXPECT_EQ(selectedTexts(), selectedBefore);

    // Choosing a result expands its folders and selects it alone.
    EXPECT_EQ(search(QStringLiteral("rivi")), QStringList{QStringLiteral("hydro/sandre/rivieres.shp")});
    pane().highlight(0);
    QTest::keyClick(pane().lvResults, Qt::Key_Return);
    EXPECT_EQ(pane().stkLeft->currentWidget(), window().tvXMLTree);
    // Its folders are listed off the window's thread, one after the other.
    EXPECT_TRUE(QTest::qWaitFor([&] { return selectedTexts() == QStringList{QStringLiteral("rivieres.shp")}; }, 30000))
        << selectedTexts().join(' ').toStdString();
    ASSERT_EQ(window().SelectedFiles.size(), 1u);
    EXPECT_EQ(window().SelectedFiles[0]->XMLPath, m_tree / "hydro/sandre/rivieres.shp.xml");
    EXPECT_TRUE(isExpanded(child(root, QStringLiteral("hydro"))));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();

    // Clearing the field also brings the tree back.
    search(QStringLiteral("routes"));
    pane().edSearch->clear();
    EXPECT_EQ(pane().stkLeft->currentWidget(), window().tvXMLTree);
}

// A result in a folder of many entries: the folder's rows go into the tree
// a slice at a time, and the result is looked for only once all are in.
TEST_F(SearchWindowTest, AResultInAFolderOfManyEntriesIsRevealedAndSelected)
{
    for (int i = 0; i < 1200; ++i)
        testutil::writeFile(m_tree / ("big/part" + std::to_string(1000 + i) + ".shp"), "x");
    dataset("big/zz_last.shp", "Dernier des nombreux", 6, 7, 46, 47);
    const QModelIndex root = connected();
    // One small slice per turn of the event loop.
    window().storeTree()->setSliceBudgetMs(0);
    QSignalSpy inserted(window().storeTree(), &QAbstractItemModel::rowsInserted);

    EXPECT_EQ(search(QStringLiteral("nombreux")), QStringList{QStringLiteral("big/zz_last.shp")});
    pane().highlight(0);
    QTest::keyClick(pane().lvResults, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return selectedTexts() == QStringList{QStringLiteral("zz_last.shp")}; }, 30000))
        << selectedTexts().join(' ').toStdString();
    const QModelIndex big = child(root, QStringLiteral("big"));
    ASSERT_TRUE(big.isValid());
    EXPECT_EQ(rowCount(big), 1201);
    EXPECT_TRUE(isExpanded(big));
    EXPECT_GT(inserted.count(), 2) << "the folder's rows went in in slices";
    EXPECT_EQ(tree().currentIndex(), childAt(big, 1200));
    ASSERT_EQ(window().SelectedFiles.size(), 1u);
    EXPECT_EQ(window().SelectedFiles[0]->XMLPath, m_tree / "big/zz_last.shp.xml");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(SearchWindowTest, ExtentWordsAndCategoryFilterCombine)
{
    connected();
    pane().btPlace->setChecked(true);
    EXPECT_TRUE(pane().pnlPlace->isVisibleTo(&window()));
    // A rectangle dragged over North America.
    const int before = pane().answersShown();
    emit pane().mapWorld->extentPicked(-120, -80, 30, 55);
    EXPECT_EQ(waitForResults(before), QStringList{QStringLiteral("other/lakes.shp")});
    EXPECT_EQ(pane().edWest->text(), QStringLiteral("-120.00"));

    // Words and extent together: nothing named "routes" lies there.
    pane().edWest->setText(QStringLiteral("0"));
    pane().edEast->setText(QStringLiteral("10"));
    pane().edSouth->setText(QStringLiteral("40"));
    pane().edNorth->setText(QStringLiteral("50"));
    EXPECT_EQ(search(QStringLiteral("routes")), QStringList{QStringLiteral("roads.shp")});
    EXPECT_EQ(search(QStringLiteral("lacs")), QStringList{});

    // Checking Document shows the notes; unchecking Vector drops the vector results.
    pane().btPlace->setChecked(false);
    int before2 = pane().answersShown();
    window().ckDocument->click(); // shown results follow the filter at once
    EXPECT_EQ(waitForResults(before2), QStringList{QStringLiteral("other/lakes.shp")});
    EXPECT_EQ(search(QStringLiteral("riviere")),
              QStringList({QStringLiteral("hydro/sandre/rivieres.shp"), QStringLiteral("other/notes.pdf")}));
    window().ckVector->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane().resultsModel->rowCount() == 1; }, 30000));
    EXPECT_EQ(pane().resultsModel->index(0).data(Qt::ToolTipRole).toString(), QStringLiteral("other/notes.pdf"));
}

TEST_F(SearchWindowTest, TheIndexShowsItsProgressOnlyOnATaskLineNoOtherTaskTook)
{
    QModelIndex root = connected();
    TdlgAtlasdesk& w = window();
    // An update of its own shows on the task line, and so does its end.
    window().tvXMLTree->setCurrentIndex(root);
    action("mnuRefresh")->trigger();
    w.onIndexProgress(1, 5);
    EXPECT_EQ(w.lblTask->text(), QStringLiteral("Indexing: 1 of 5 data sets"));
    waitForIndex();
    EXPECT_TRUE(w.lblTask->text().startsWith(QStringLiteral("Indexed "))) << w.lblTask->text().toStdString();

    // An update that a walk overtakes leaves the walk's end caption, also
    // to answers of the update that arrive after the walk ended.
    action("mnuRefresh")->trigger();
    w.tvXMLTree->clearSelection();
    w.tvXMLTree->addToSelection(w.tvXMLTree->rootNode());
    w.mnuXMLExpandAllClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.cancellableTaskRunning(); }, 30000));
    const QString caption = w.lblTask->text();
    EXPECT_TRUE(caption.startsWith(QStringLiteral("Ready: "))) << caption.toStdString();
    w.onIndexProgress(2, 5);
    waitForIndex();
    IndexReport late;
    late.total = 5;
    w.onIndexFinished(late);
    EXPECT_EQ(w.lblTask->text(), caption);
}

TEST_F(SearchWindowTest, RefreshBringsTheIndexUpToDate)
{
    QModelIndex root = connected();
    EXPECT_EQ(search(QStringLiteral("routes")), QStringList{QStringLiteral("roads.shp")});
    QTest::keyClick(pane().edSearch, Qt::Key_Escape);
    dataset("roads.shp", "Autoroutes", 6, 7, 46, 47);
    struct timeval later[2] = {{2000000000, 0}, {2000000000, 0}};
    ::utimes((m_tree / "roads.shp.xml").c_str(), later);
    dataset("new/bridges.shp", "Ponts", 6, 7, 46, 47);
    window().tvXMLTree->setCurrentIndex(root);
    action("mnuRefresh")->trigger();
    waitForIndex();
    EXPECT_EQ(search(QStringLiteral("routes")), QStringList{});
    EXPECT_EQ(search(QStringLiteral("autoroutes")), QStringList{QStringLiteral("roads.shp")});
    EXPECT_EQ(search(QStringLiteral("ponts")), QStringList{QStringLiteral("new/bridges.shp")});
}


TEST_F(SearchWindowTest, TheResultsShowWhyTheyMatchedAndThePagesFollowTheHighlightedOne)
{
    dataset("hydro/lakes/leman.shp", "Lac Léman", 6.1, 6.9, 46.2, 46.5,
            "Depth soundings of the lake taken from boats in 2008, with the inflow of every rivière marked and the "
            "outflow of the Rhône at Geneva; the soundings were checked against older charts of the lake floor.",
            "20080315");
    QModelIndex root = connected();
    TdlgAtlasdesk& w = window();
    w.PageControl1->setCurrentWidget(w.tabXML);
    w.tvXMLTree->clearSelection();
    ASSERT_TRUE(pageAfter(w.wbXML, [&] { w.tvXMLTree->addToSelection(child(root, QStringLiteral("roads.shp"))); }));
    EXPECT_EQ(w.wbXML->lastLocalPath(), m_tree / "roads.shp.xml");

    // The title match first; the abstract match shows the passage that matched.
    ASSERT_EQ(search(QStringLiteral("riviere")),
              (QStringList{QStringLiteral("hydro/lakes/leman.shp"), QStringLiteral("hydro/sandre/rivieres.shp")}));
    const std::vector<SearchHit>& hits = pane().results();
    ASSERT_EQ(hits[0].relPath, QStringLiteral("hydro/sandre/rivieres.shp"));
    const QModelIndex title = pane().resultsModel->index(0);
    EXPECT_EQ(title.data(SearchResultsModel::FolderRole).toString(), QStringLiteral("hydro/sandre/"));
    const auto titleMarks = title.data(SearchResultsModel::TitleMarksRole).value<std::vector<searchtext::Span>>();
    ASSERT_EQ(titleMarks.size(), 1u);
    EXPECT_EQ(title.data().toString().mid(titleMarks[0].from, titleMarks[0].to - titleMarks[0].from),
              QStringLiteral("Rivière"));
    const QModelIndex abstract = pane().resultsModel->index(1);
    EXPECT_EQ(abstract.data().toString(), QStringLiteral("Lac Léman"));
    EXPECT_EQ(abstract.data(SearchResultsModel::DateRole).toString(), QStringLiteral("2008-03-15"));
    const Snippet snippet = abstract.data(SearchResultsModel::SnippetRole).value<Snippet>();
    ASSERT_EQ(snippet.marks.size(), 1u) << snippet.text.toStdString();
    EXPECT_EQ(snippet.text.mid(snippet.marks[0].from, snippet.marks[0].to - snippet.marks[0].from),
              QStringLiteral("rivière"));
    EXPECT_TRUE(snippet.text.endsWith(QStringLiteral("\u2026"))) << "cut, and says so";
    EXPECT_TRUE(abstract.data(Qt::AccessibleTextRole).toString().startsWith(QStringLiteral("Lac Léman, Vector")));

    // Down from the field, then down again: the XML page shows each
    // highlighted result, and the results stay.
    pane().edSearch->setFocus();
    EXPECT_TRUE(pageAfter(w.wbXML, [&] { QTest::keyClick(pane().edSearch, Qt::Key_Down); }));
    EXPECT_EQ(w.wbXML->lastLocalPath(), hits[0].xmlPath);
    EXPECT_TRUE(pageAfter(w.wbXML, [&] { QTest::keyClick(pane().lvResults, Qt::Key_Down); }));
    EXPECT_EQ(w.wbXML->lastLocalPath(), hits[1].xmlPath);
    EXPECT_TRUE(pane().resultsShown());
    EXPECT_EQ(pane().mapWorld->highlighted(), 1);
    // The Metadata and Thumbnail pages show it too when they are brought up.
    w.PageControl1->setCurrentWidget(w.tabThumbnail);
    ASSERT_TRUE(viewsSettled());
    EXPECT_EQ(w.edThbFilename->text().toStdString(), m_tree / "hydro/lakes/leman.shp");
    EXPECT_TRUE(pageAfter(w.wbXSL, [&] { w.PageControl1->setCurrentWidget(w.TabXSL); }));
    EXPECT_TRUE(pageText(w.wbXSL).contains(QStringLiteral("Lac Léman")));
    // A click on a box of the map highlights its result.
    emit pane().mapWorld->resultClicked(0);
    EXPECT_EQ(pane().lvResults->currentIndex().row(), 0);
    ASSERT_TRUE(viewsSettled());

    // Back to the tree: the pages show its selection again.
    w.PageControl1->setCurrentWidget(w.tabXML);
    EXPECT_TRUE(pageAfter(w.wbXML, [&] { QTest::keyClick(pane().lvResults, Qt::Key_Escape); }));
    EXPECT_EQ(w.wbXML->lastLocalPath(), m_tree / "roads.shp.xml");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(SearchWindowTest, ResultsAreCopiedExportedAndDraggedAsTheTreeHandsThemOver)
{
    dataset("roads \"old\", 1990.shp", "=HYPERLINK(\"x\")", 170, -170, -20, -10);
    QModelIndex root = connected();
    TdlgAtlasdesk& w = window();
    ASSERT_EQ(search(QStringLiteral("routes")), QStringList{QStringLiteral("roads.shp")});

    // What the tree's "Copy path" puts on the clipboard for the same data set.
    w.tvXMLTree->clearSelection();
    w.tvXMLTree->addToSelection(child(root, QStringLiteral("roads.shp")));
    w.mnuCopyPathClick();
    const QByteArray fromTree = QApplication::clipboard()->mimeData()->data(QStringLiteral("text/uri-list"));
    ASSERT_FALSE(fromTree.isEmpty());
    QApplication::clipboard()->clear();
    pane().highlight(0);
    pane().mnuCopyPaths->trigger();
    EXPECT_EQ(QApplication::clipboard()->mimeData()->data(QStringLiteral("text/uri-list")), fromTree);
    // Dragged out, the same.
    std::unique_ptr<QMimeData> dragged(pane().resultsModel->mimeData({pane().resultsModel->index(0)}));
    EXPECT_EQ(dragged->data(QStringLiteral("text/uri-list")), fromTree);
    EXPECT_TRUE(pane().lvResults->dragEnabled());

    // Every result into a CSV file, written off the window's thread.
    ASSERT_EQ(search(QStringLiteral("roads")).size(), 2);
    pane().lvResults->selectAll();
    pane().mnuCopyPaths->trigger();
    EXPECT_EQ(QApplication::clipboard()->mimeData()->text().count(QLatin1Char('\n')), 2);
    const std::string file = m_cache / "found.csv";
    pane().askExportFile = [&](const QString&) { return QString::fromStdString(file); };
    QSignalSpy exported(&pane(), &SearchPane::exported);
    pane().mnuExportList->trigger();
    ASSERT_TRUE(exported.wait(30000));
    const std::string csv = testutil::readFile(file);
    EXPECT_EQ(csv, "path,title,category,west,east,south,north\r\n\"" + (m_tree / "roads \"\"old\"\", 1990.shp") +
                       "\",\"'=HYPERLINK(\"\"x\"\")\",Vector,170,-170,-20,-10\r\n" + (m_tree / "roads.shp") +
                       ",Routes nationales,Vector,6,7,46,47\r\n");
    EXPECT_TRUE(w.lblTask->text().startsWith(QStringLiteral("Exported 2 data sets to "))) << w.lblTask->text().toStdString();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    // A file that cannot be written: said so, nothing claimed.
    pane().askExportFile = [&](const QString&) { return QString::fromStdString(m_cache / "no/such/folder/x.csv"); };
    pane().mnuExportList->trigger();
    ASSERT_TRUE(exported.wait(30000));
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].startsWith(QStringLiteral("Cannot export the list to "))) << m_errors[0].toStdString();
}

TEST_F(SearchWindowTest, AListLongerThanTheFirstPageComesWholeWithItsBoxesAndKeepsTheHighlight)
{
    // More data sets than the first answer brings: the rest follows.
    constexpr int kCount = SearchService::kFirstPage + 150;
    for (int i = 0; i < kCount; ++i)
        dataset("parcels/p" + std::to_string(100 + i) + ".shp", "Parcelle " + std::to_string(100 + i),
                -180 + i * 0.7, -180 + i * 0.7 + 0.5, 0, 1);
    connected();
    QStringList found = search(QStringLiteral("parcelle"));
    ASSERT_EQ(found.size(), kCount);
    EXPECT_EQ(found.removeDuplicates(), 0);
    EXPECT_EQ(pane().stSearch->text(), QStringLiteral("%1 data sets found").arg(kCount));
    // Rank order (titles of one length: path order), every row with its box
    // on the map.
    const std::vector<SearchHit>& hits = pane().results();
    WorldMap& map = *pane().mapWorld;
    for (int row : {0, SearchService::kFirstPage - 1, SearchService::kFirstPage, kCount - 1}) {
        EXPECT_EQ(hits[size_t(row)].relPath, QStringLiteral("parcels/p%1.shp").arg(100 + row));
        const double west = -180 + row * 0.7;
        map.setView(QRectF(west - 1, -1, 2.5, 3));
        EXPECT_EQ(map.resultAt(map.toWidget(QPointF(west + 0.25, 0.5))), row);
    }

    // A data set highlighted in the rest of the list is highlighted again
    // when the search runs anew.
    const int row = kCount - 10;
    pane().highlight(row);
    const int before = pane().answersShown();
    QTest::keyClicks(pane().edSearch, QStringLiteral(" "));
    EXPECT_EQ(waitForResults(before).size(), kCount);
    ASSERT_NE(pane().highlightedResult(), nullptr);
    EXPECT_EQ(pane().highlightedResult()->relPath, QStringLiteral("parcels/p%1.shp").arg(100 + row));
    EXPECT_EQ(map.highlighted(), row);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

// A list of `found` data sets as the search service brings it: the rows
// from `from` to `to`; the first answer tells that the rest follows.
SearchAnswer listPart(const QString& words, int from, int to, int found)
{
    SearchAnswer answer;
    answer.query.words = words;
    answer.query.from = from;
    answer.query.count = to - from;
    for (int i = from; i < to; ++i) {
        SearchHit h;
        h.path = "/store/parcels/p" + std::to_string(1000 + i) + ".shp";
        h.xmlPath = h.path + ".xml";
        h.relPath = QStringLiteral("parcels/p%1.shp").arg(1000 + i);
        h.category = catVector;
        h.title = QStringLiteral("Parcelle %1").arg(1000 + i);
        answer.hits.push_back(std::move(h));
    }
    answer.found = found;
    answer.complete = true;
    answer.restFollows = from == 0 && to < found;
    return answer;
}

TEST(SearchPaneTest, CopyAndExportAskedBeforeTheRestOfTheListComesActOnTheWholeList)
{
    constexpr int kFirst = SearchService::kFirstPage;
    constexpr int kCount = kFirst + 150;
    const QString words = QStringLiteral("parcelle");
    testutil::TempDir dir;
    SearchPane pane(new QWidget);
    pane.showAnswer(listPart(words, 0, kFirst, kCount), false);
    ASSERT_EQ(pane.results().size(), size_t(kFirst));

    // Every row shown selected and copied, the list exported: the rest is
    // not here yet.
    QApplication::clipboard()->clear();
    pane.lvResults->setFocus();
    pane.lvResults->selectAll();
    pane.mnuCopyPaths->trigger();
    QSignalSpy exported(&pane, &SearchPane::exported);
    const std::string file = dir / "found.csv";
    pane.exportListTo(QString::fromStdString(file));
    pane.showAnswer(listPart(words, kFirst, kCount, kCount), false);

    // Every row is still selected; the clipboard and the file hold the whole list.
    EXPECT_EQ(pane.selectedResults().size(), size_t(kCount));
    const QMimeData* copied = QApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->text().count(QLatin1Char('\n')), kCount);
    EXPECT_TRUE(copied->text().contains(QStringLiteral("p%1.shp").arg(1000 + kCount - 1)));
    ASSERT_TRUE(exported.size() == 1 || exported.wait(30000));
    EXPECT_EQ(exported[0][1].toInt(), kCount);
    EXPECT_EQ(exported[0][2].toString(), QString());
    const std::string csv = testutil::readFile(file);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), kCount + 1);
    EXPECT_NE(csv.find("p" + std::to_string(1000 + kCount - 1) + ".shp"), std::string::npos);

    // When the rest cannot come, the export waiting for it writes nothing
    // and says why.
    const struct {
        const char* what;
        std::function<void()> instead;
    } cases[] = {
        {"search cleared", [&] { pane.clearSearch(); }},
        {"another search", [&] { pane.showAnswer(listPart(QStringLiteral("parcel"), 0, 10, 10), false); }},
        {"the rest failed",
         [&] {
             SearchAnswer failed = listPart(words, kFirst, kFirst, kCount);
             failed.error = QStringLiteral("disk I/O error");
             pane.showAnswer(failed, false);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        pane.showAnswer(listPart(words, 0, kFirst, kCount), false);
        exported.clear();
        const std::string waiting = dir / (std::string(c.what) + ".csv");
        pane.exportListTo(QString::fromStdString(waiting));
        c.instead();
        ASSERT_EQ(exported.size(), 1);
        EXPECT_EQ(exported[0][1].toInt(), 0);
        EXPECT_FALSE(exported[0][2].toString().isEmpty());
        // Nothing written, also later.
        QTest::qWait(200);
        EXPECT_EQ(exported.size(), 1);
        EXPECT_FALSE(std::filesystem::exists(waiting));
    }
}

TEST_F(SearchWindowTest, TheStatusCountsInGoodEnglish)
{
    connected();
    TdlgAtlasdesk& w = window();
    const struct {
        int n;
        QString expected;
    } cases[] = {
        {1, QStringLiteral("Indexed 1 data set; 1 metadata file could not be read; 1 document in a format not read; "
                           "1 box not in degrees")},
        {2, QStringLiteral("Indexed 2 data sets; 2 metadata files could not be read; 2 documents in a format not "
                           "read; 2 boxes not in degrees")},
    };
    for (const auto& c : cases) {
        IndexReport report;
        report.total = c.n;
        for (int i = 0; i < c.n; ++i) {
            report.unreadable << QStringLiteral("a%1.shp: broken").arg(i);
            report.notRead << QStringLiteral("b%1.shp").arg(i);
            report.notInDegrees << QStringLiteral("c%1.shp").arg(i);
        }
        w.onIndexFinished(report);
        EXPECT_EQ(pane().stSearch->text(), c.expected);
        EXPECT_TRUE(pane().stSearch->toolTip().contains(QStringLiteral("b0.shp")));
    }
    w.onIndexProgress(0, 1);
    EXPECT_EQ(pane().stSearch->text(), QStringLiteral("Indexing: 0 of 1 data set"));
}

// A window whose configuration names a catalogue server of the test's own
// (which a case may freeze) and its searching account, whose team index
// holds the tree's data sets and one more that this share does not show.
class TeamSearchWindowTest : public SearchWindowTest {
protected:
    void SetUp() override
    {
        SearchWindowTest::SetUp();
        m_server.emplace();
        ASSERT_TRUE(m_server->error().empty()) << m_server->error();
        m_db.emplace(m_server->account());
        const cattest::ServerAccount& account = m_server->account();
        std::string config = testutil::readFile(m_program / "AtlasdeskView.ini.xml");
        config.insert(config.find("</atlasdesk>"),
                      "<chartroom><host>" + account.host + "</host><port>" + std::to_string(account.port) +
                          "</port><database>" + m_db->name() + "</database><user>writer</user><search><user>" +
                          account.user + "</user><timeout>3</timeout></search></chartroom>");
        testutil::writeFile(m_program / "AtlasdeskView.ini.xml", config);
        window().searchIndexFolder = QString::fromStdString(m_cache.path());

        // The team's index, written by the rows builder of the sync and of
        // "Add to chartroom".
        const SearchFieldReader reader(SearchFieldPaths::fromConfiguration());
        UploadContext context({});
        context.setSearchTables(true);
        ChartroomConnection connection(m_db->settings());
        connection.open();
        const std::string root = ExcludeTrailingPathDelimiter(m_tree.path());
        testutil::writeFile(m_work / "elsewhere/newroads.shp", "x");
        testutil::writeFile(m_work / "elsewhere/newroads.shp.xml", metadataWithTitle("Routes nouvelles"));
        for (const auto& [dir, name, category] : std::vector<std::tuple<std::string, std::string, uint8_t>>{
                 {"hydro/sandre/", "rivieres.shp", catVector},
                 {"", "roads.shp", catVector},
                 {"other/", "lakes.shp", catVector},
                 {"other/", "notes.pdf", catDocument}}) {
            CatalogueItem item{root + "/" + dir, name, ExtractFileExt(name), category};
            PreparedDataSet prepared = PrepareDataSet(item.Dir + name + ".xml", item, root, {}, reader, RowsWanted::Search);
            ASSERT_EQ(prepared.outcome, PreparedDataSet::Outcome::Rows) << name;
            WriteDataSetRows(prepared.rows, context, [&](const std::string& s) { connection.execute(s); });
        }
        // A data set the sync found and this window's share does not show.
        CatalogueItem added{root + "/", "newroads.shp", ".shp", catVector};
        PreparedDataSet prepared = PrepareDataSet(m_work / "elsewhere/newroads.shp.xml", added, root, {}, reader,
                                                  RowsWanted::Search);
        ASSERT_EQ(prepared.outcome, PreparedDataSet::Outcome::Rows);
        WriteDataSetRows(prepared.rows, context, [&](const std::string& s) { connection.execute(s); });
        connection.execute(SearchSyncedStatement());
    }
    void TearDown() override
    {
        SearchWindowTest::TearDown();
        m_db.reset();
        m_server.reset();
    }

    std::optional<cattest::PrivateServer> m_server;
    std::optional<cattest::TestDatabase> m_db;
};

// The team's index answers, the pane says so, and the share is not read for
// an index of the window's own. The server frozen (SIGSTOP): the window
// keeps drawing, its own index answers within the short timeout and the
// pane says why; the window then indexes the share, and its own index
// answers while the server stays away.
TEST_F(TeamSearchWindowTest, TheTeamIndexAnswersAndAFrozenServerLeavesItToTheOwnIndex)
{
    cattest::PrivateServer& server = *m_server;
    const cattest::ServerAccount& account = server.account();
    // The searching account's password as scripts give it.
    qputenv("ATLASDESK_SEARCH_PASSWORD", QByteArray::fromStdString(account.password));
    const std::shared_ptr<void> unset(nullptr, [](void*) { qunsetenv("ATLASDESK_SEARCH_PASSWORD"); });
    TdlgAtlasdesk& w = window();

    connectAndExpand();
    auto* indexer = w.findChild<StoreIndexer*>();
    ASSERT_NE(indexer, nullptr);
    EXPECT_EQ(search("routes"), (QStringList{"newroads.shp", "roads.shp"})) << "the team's index answered";
    EXPECT_NE(pane().stSearch->text().indexOf(QStringLiteral("Team index on %1, synced ")
                                                  .arg(QString::fromStdString(account.host))),
              -1)
        << pane().stSearch->text().toStdString();
    EXPECT_FALSE(indexer->isRunning());
    EXPECT_FALSE(testutil::exists(w.searchIndexFile(m_tree.path()).toStdString()))
        << "the share was not read for an index of the window's own";

    ASSERT_TRUE(server.stop());
    // The window's thread keeps turning while the server does not answer:
    // waiting on it would stop this timer for the whole timeout (3 s).
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    sinceTick.start();
    tick.start(20);
    QElapsedTimer took;
    took.start();
    const QStringList fallback = search("rivieres");
    const qint64 answered = took.elapsed();
    tick.stop();
    EXPECT_LT(longestGap, 1500) << "the window waited on the server";
    EXPECT_LT(answered, 10000) << "within the short timeout (the client may try a read again)";
    const QString status = pane().stSearch->text();
    EXPECT_NE(status.indexOf(QStringLiteral("Local index: the team index on %1 did not answer")
                                 .arg(QString::fromStdString(account.host))),
              -1)
        << status.toStdString();
    EXPECT_TRUE(fallback.isEmpty() || fallback == QStringList{"hydro/sandre/rivieres.shp"})
        << "the own index had not been built: " << fallback.join(',').toStdString();

    // The window now indexes the share, and once its index is built the
    // search shown is answered again from it.
    const int shown = pane().answersShown();
    ASSERT_TRUE(QTest::qWaitFor([&] { return testutil::exists(w.searchIndexFile(m_tree.path()).toStdString()); }, 10000));
    waitForIndex();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane().answersShown() > shown; }, 10000));
    EXPECT_EQ(pane().results().size(), 1u);
    took.restart();
    EXPECT_EQ(search("routes"), (QStringList{"roads.shp"})) << "this share's own data sets";
    EXPECT_LT(took.elapsed(), 2500) << "the frozen server is not asked again for a while";
    EXPECT_NE(pane().stSearch->text().indexOf(QStringLiteral("Local index: ")), -1);
    server.resume();
}

// Several servers: the first does not answer (nothing listens on its port),
// the next does, and the pane names the server that answered.
TEST_F(TeamSearchWindowTest, TheNextServerAnswersWhenTheFirstIsAway)
{
    const cattest::ServerAccount& account = m_server->account();
    const std::string alive = account.host + ":" + std::to_string(account.port);
    std::string config = testutil::readFile(m_program / "AtlasdeskView.ini.xml");
    const std::string one = "<host>" + account.host + "</host>";
    config.replace(config.find(one), one.size(),
                   "<host>127.0.0.1:" + std::to_string(cattest::closedPort()) + "</host><host>" + alive + "</host>");
    testutil::writeFile(m_program / "AtlasdeskView.ini.xml", config);
    qputenv("ATLASDESK_SEARCH_PASSWORD", QByteArray::fromStdString(account.password));
    const std::shared_ptr<void> unset(nullptr, [](void*) { qunsetenv("ATLASDESK_SEARCH_PASSWORD"); });
    connectAndExpand();
    EXPECT_EQ(search("routes"), (QStringList{"newroads.shp", "roads.shp"}));
    EXPECT_NE(pane().stSearch->text().indexOf(QStringLiteral("Team index on %1, synced ").arg(QString::fromStdString(alive))),
              -1)
        << pane().stSearch->text().toStdString();
}

// The searching account's password is asked once and written to no file.
// This case runs with no keyring (the session bus is made unreachable, so
// the user's own keyring is never touched): the pane says so and the
// password is kept in memory for the session. The keyring itself is tested
// in tests/catalogue/KeyringTest.cpp, with a keyring of the test's own.
TEST_F(TeamSearchWindowTest, WithoutAKeyringThePasswordIsAskedOnceAndWrittenNowhere)
{
    const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/atlasdesk-test-bus");
    const std::shared_ptr<void> restore(nullptr, [bus](void*) {
        if (bus.isNull())
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        else
            qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
    });
    const QString password = QString::fromStdString(m_server->account().password);
    TdlgAtlasdesk& w = window();
    int asked = 0;
    QString question;
    w.searchPasswordPrompt = [&](const QString& text) {
        ++asked;
        question = text;
        return std::optional<QString>(password);
    };
    const QString team = QStringLiteral("Team index on %1").arg(QString::fromStdString(m_server->account().host));
    for (int connection = 0; connection < 2; ++connection) {
        connectAndExpand();
        ASSERT_TRUE(QTest::qWaitFor([&] { return asked > 0; }, 30000)) << "the password was not asked";
        if (connection == 0)
            EXPECT_NE(pane().stSearch->text().indexOf(QStringLiteral("No desktop keyring")), -1)
                << pane().stSearch->text().toStdString();
        // Typed before or after the keyring answered: the search shown is
        // asked again once the password is known.
        search("routes");
        ASSERT_TRUE(QTest::qWaitFor([&] { return pane().stSearch->text().contains(team); }, 30000))
            << pane().stSearch->text().toStdString();
        EXPECT_EQ(pane().results().size(), 2u);
    }
    EXPECT_EQ(asked, 1) << "asked once";
    EXPECT_NE(question.indexOf(QStringLiteral("kept for this session only")), -1) << question.toStdString();
    // In no file the program may write.
    for (const std::string& folder : {m_program.path(), m_work.path(), m_cache.path(), m_tree.path(),
                                     QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString(),
                                     QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString(),
                                     QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString()}) {
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
             it != std::filesystem::recursive_directory_iterator(); it.increment(error))
            if (it->is_regular_file(error)) {
                EXPECT_EQ(testutil::readFile(it->path()).find(password.toStdString()), std::string::npos) << it->path();
            }
    }
}

} // namespace
