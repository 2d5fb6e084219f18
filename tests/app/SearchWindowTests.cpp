// Finding data sets in the window: the search field, the results in the
// tree's place, revealing a result in the tree, the extent, Esc.
#include <sys/time.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include "AppFixture.h"
#include "app/SearchPane.h"
#include "model/StoreIndexer.h"
#include "app/WorldMap.h"

namespace {

std::string metadataWithTitle(const std::string& title, double west = 6, double east = 7, double south = 46,
                              double north = 47)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><metadata><idinfo><citation><citeinfo><title>" + title +
           "</title></citeinfo></citation><spdom><bounding><westbc>" + std::to_string(west) + "</westbc><eastbc>" +
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
                      "<South><XML_Path>idinfo/spdom/bounding/southbc</XML_Path></South>");
        testutil::writeFile(m_program / "AtlasdeskView.ini.xml", config);
        dataset("hydro/sandre/rivieres.shp", "La Rivière Bleue", 6, 7, 46, 47);
        dataset("roads.shp", "Routes nationales", 6, 7, 46, 47);
        dataset("other/lakes.shp", "Lacs d'Amérique", -100, -90, 40, 50);
        dataset("other/notes.pdf", "Rivière notes", 6, 7, 46, 47);
    }
    void dataset(const std::string& rel, const std::string& title, double w, double e, double s, double n)
    {
        testutil::writeFile(m_tree / rel, "x");
        testutil::writeFile(m_tree / (rel + ".xml"), metadataWithTitle(title, w, e, s, n));
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
        for (int i = 0; i < pane().lvResults->count(); ++i)
            texts << pane().lvResults->item(i)->toolTip();
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
    EXPECT_TRUE(pane().lvResults->item(0)->text().contains(QStringLiteral("La Rivière Bleue")));

    // Esc: the tree exactly as it was.
    QTest::keyClick(pane().edSearch, Qt::Key_Escape);
    EXPECT_EQ(pane().stkLeft->currentWidget(), window().tvXMLTree);
    EXPECT_TRUE(pane().edSearch->text().isEmpty());
    EXPECT_EQ(expandedTexts(root), expandedBefore);
    EXPECT_EQ(selectedTexts(), selectedBefore);

    // Choosing a result expands its folders and selects it alone.
    EXPECT_EQ(search(QStringLiteral("rivi")), QStringList{QStringLiteral("hydro/sandre/rivieres.shp")});
    pane().lvResults->setCurrentRow(0);
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
    pane().lvResults->setCurrentRow(0);
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane().lvResults->count() == 1; }, 30000));
    EXPECT_EQ(pane().lvResults->item(0)->toolTip(), QStringLiteral("other/notes.pdf"));
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

} // namespace
