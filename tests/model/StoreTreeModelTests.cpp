// The store tree model on real folders: listing on demand, rows inserted a
// slice at a time, listings dropped and asked again, and the walks over it
// (subtrees, the way down to one data set). Qt's model tester checks that
// every change the model makes is one views can follow.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>
#include <memory>

#include "ModelFixture.h"
#include "TreeTestSupport.h"
#include "model/ListingService.h"
#include "model/PathWalk.h"
#include "model/StoreTreeModel.h"
#include "model/SubtreeWalk.h"
#include "model/XMLFile.h"
#include "support/PathOps.h"

namespace {

using State = StoreTreeModel::State;
using treetest::childNamed;
using treetest::childTexts;
using treetest::fileOf;

class StoreTreeModelTest : public ModelFixture {
protected:
    static void SetUpTestSuite()
    {
        // Signals between the listing workers and the model need an event loop.
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "model_tests";
            static char* argv[] = {name, nullptr};
            static QCoreApplication app(argc, argv);
        }
    }
    void SetUp() override
    {
        ModelFixture::SetUp();
        m_service = std::make_unique<ListingService>();
        m_model = std::make_unique<StoreTreeModel>(m_service.get());
    }
    void TearDown() override
    {
        m_model.reset();
        m_service.reset();
        ModelFixture::TearDown();
    }
    // The test tree's folder as the root node.
    QModelIndex connectRoot()
    {
        const std::string root = m_tree.path();
        const std::string bare = ExcludeTrailingPathDelimiter(root);
        return m_model->setRoot(std::make_unique<tXMLFile>(tXMLFile::Fields{
                                    root + "metadata.xml", catDirectory, ExtractFileName(bare) + "/",
                                    ExtractFilePath(bare), ""}),
                                QStringLiteral("root"));
    }
    // Lists `dir` and waits until its rows are all in.
    void listAndWait(const QModelIndex& dir)
    {
        QSignalSpy loaded(m_model.get(), &StoreTreeModel::directoryLoaded);
        ASSERT_TRUE(m_model->list(dir)) << treetest::text(dir).toStdString();
        ASSERT_TRUE(loaded.wait(20000)) << "no answer for " << treetest::text(dir).toStdString();
    }
    void fill(const std::string& folder, int files)
    {
        for (int i = 0; i < files; ++i)
            testutil::writeFile(m_tree / (folder + "f" + std::to_string(10000 + i) + ".shp"), "x");
    }

    std::unique_ptr<ListingService> m_service;
    std::unique_ptr<StoreTreeModel> m_model;
};

TEST_F(StoreTreeModelTest, AFolderIsListedOnceOnDemandAndItsRowsGoInASliceAtATime)
{
    fill("", 3000);
    testutil::makeDir(m_tree / "sub");
    testutil::makeDir(m_tree / "empty");
    const QModelIndex root = connectRoot();
    EXPECT_EQ(m_model->rowCount(root), 0) << "nothing is read before a view asks";
    EXPECT_TRUE(m_model->hasChildren(root)) << "an expand button before any row exists";
    EXPECT_TRUE(m_model->canFetchMore(root));
    EXPECT_EQ(m_model->state(root), State::NotListed);

    m_model->setSliceBudgetMs(0);
    // What a view sees at each insertion and at the end.
    std::vector<State> statesAtInsertion;
    int rowsAtLoaded = -1, loadedCount = 0;
    QObject::connect(m_model.get(), &QAbstractItemModel::rowsInserted, m_model.get(),
            [&](const QModelIndex& parent) { statesAtInsertion.push_back(m_model->state(parent)); });
    QObject::connect(m_model.get(), &StoreTreeModel::directoryLoaded, m_model.get(), [&](const QModelIndex& dir) {
        if (dir != root)
            return;
        rowsAtLoaded = m_model->rowCount(dir);
        ++loadedCount;
    });
    m_model->fetchMore(root);
    EXPECT_EQ(m_model->state(root), State::Listing);
    EXPECT_FALSE(m_model->canFetchMore(root));
    EXPECT_EQ(root.data(Qt::ToolTipRole).toString(), QStringLiteral("Loading…"));
    m_model->fetchMore(root);
    EXPECT_TRUE(m_model->list(root)) << "on its way: something to wait for";
    EXPECT_EQ(m_service->pendingCount(), 1) << "asked once";

    ASSERT_TRUE(QTest::qWaitFor([&] { return loadedCount > 0; }, 20000));
    QTest::qWait(50);
    EXPECT_EQ(loadedCount, 1);
    EXPECT_EQ(rowsAtLoaded, 3002) << "told once every row is in";
    EXPECT_GT(statesAtInsertion.size(), 2u) << "the rows went in in slices";
    for (State s : statesAtInsertion)
        EXPECT_EQ(s, State::Listing) << "the folder is not listed while rows are still coming";
    EXPECT_EQ(m_model->state(root), State::Listed);
    EXPECT_EQ(m_model->nodeCount(), 3003);
    EXPECT_FALSE(m_model->isListing());
    EXPECT_FALSE(m_model->canFetchMore(root));
    EXPECT_TRUE(root.data(Qt::ToolTipRole).isNull());

    // A folder not listed yet keeps its expand button; an empty one loses it
    // once listed; a data set never has rows.
    const QModelIndex sub = childNamed(root, "sub"), empty = childNamed(root, "empty");
    const QModelIndex shp = childNamed(root, "f10000.shp");
    EXPECT_TRUE(m_model->hasChildren(sub));
    EXPECT_TRUE(m_model->hasChildren(empty));
    listAndWait(empty);
    EXPECT_FALSE(m_model->hasChildren(empty));
    EXPECT_FALSE(m_model->list(empty)) << "listed: nothing to wait for";
    EXPECT_FALSE(m_model->hasChildren(shp));
    EXPECT_TRUE(m_model->flags(shp) & Qt::ItemNeverHasChildren);
    EXPECT_EQ(shp.data(StoreTreeModel::CategoryRole).toInt(), catVector);
    EXPECT_EQ(fileOf(shp)->XMLPath, m_tree / "f10000.shp.xml");
    EXPECT_EQ(root.data(StoreTreeModel::PictureRole).toInt(), catCatalog);
}

TEST_F(StoreTreeModelTest, AListingDroppedHalfwayLeavesNoRowsAndIsAskedAnew)
{
    fill("", 3000);
    const QModelIndex root = connectRoot();
    m_model->setSliceBudgetMs(0);
    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy dropped(m_model.get(), &StoreTreeModel::listingDropped);
    QSignalSpy loaded(m_model.get(), &StoreTreeModel::directoryLoaded);
    m_model->fetchMore(root);
    ASSERT_TRUE(inserted.wait(20000));
    ASSERT_LT(m_model->rowCount(root), 3000) << "the first slice is not the whole folder";

    m_model->cancelListing(root);
    EXPECT_EQ(m_model->rowCount(root), 0) << "listed is all or nothing";
    EXPECT_EQ(m_model->nodeCount(), 1);
    EXPECT_EQ(m_model->state(root), State::NotListed);
    EXPECT_EQ(dropped.count(), 1);
    EXPECT_FALSE(m_model->isListing());
    QTest::qWait(100);
    EXPECT_EQ(loaded.count(), 0) << "a dropped listing never ends as loaded";
    EXPECT_EQ(m_model->rowCount(root), 0);

    listAndWait(root);
    EXPECT_EQ(m_model->rowCount(root), 3000);
    EXPECT_EQ(m_model->nodeCount(), 3001);
}

TEST_F(StoreTreeModelTest, RefreshUnlistAndClear)
{
    testutil::writeFile(m_tree / "a/one.shp", "x");
    const QModelIndex root = connectRoot();
    listAndWait(root);
    const QModelIndex a = childNamed(root, "a");
    listAndWait(a);
    EXPECT_EQ(m_model->nodeCount(), 3);
    EXPECT_NE(m_model->directoryId(a), (StoreTreeModel::DirectoryId{0, 0}));

    // Refresh finds what changed on disk.
    testutil::writeFile(m_tree / "a/two.shp", "x");
    QSignalSpy loaded(m_model.get(), &StoreTreeModel::directoryLoaded);
    m_model->relist(root);
    EXPECT_EQ(m_model->nodeCount(), 1) << "the old rows go at once";
    ASSERT_TRUE(loaded.wait(20000));
    const QModelIndex a2 = childNamed(root, "a");
    EXPECT_EQ(m_model->state(a2), State::NotListed) << "below it, listed again on demand";
    listAndWait(a2);
    EXPECT_EQ(childTexts(a2), (QStringList{"one.shp", "two.shp"}));

    // Unlisted: as before the first listing.
    m_model->unlist(a2);
    EXPECT_EQ(m_model->state(a2), State::NotListed);
    EXPECT_EQ(m_model->rowCount(a2), 0);
    EXPECT_EQ(m_model->directoryId(a2), (StoreTreeModel::DirectoryId{0, 0}));
    EXPECT_TRUE(m_model->canFetchMore(a2));

    // Emptied while a listing is on its way: its answer is dropped.
    ASSERT_TRUE(m_model->list(a2));
    m_model->clear();
    EXPECT_FALSE(m_model->isListing());
    EXPECT_FALSE(m_model->rootIndex().isValid());
    EXPECT_EQ(m_model->nodeCount(), 0);
    QTest::qWait(200);
    EXPECT_EQ(m_model->rowCount(), 0);
}

TEST_F(StoreTreeModelTest, AFolderThatCannotBeReadIsListedEmptyWithWhy)
{
    testutil::makeDir(m_tree / "gone");
    const QModelIndex root = connectRoot();
    listAndWait(root);
    const QModelIndex gone = childNamed(root, "gone");
    std::filesystem::remove(m_tree / "gone");
    listAndWait(gone);
    EXPECT_EQ(m_model->state(gone), State::Listed);
    EXPECT_EQ(m_model->rowCount(gone), 0);
    const QString error = gone.data(StoreTreeModel::ListingErrorRole).toString();
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(gone.data(Qt::ToolTipRole).toString(), error);
    EXPECT_TRUE(root.data(StoreTreeModel::ListingErrorRole).isNull());
}

// The tester asks for every folder it meets (fetchMore) and checks the
// model after each change; a change views could not follow aborts the test.
TEST_F(StoreTreeModelTest, EveryChangeIsOneViewsCanFollow)
{
    fill("", 2000);
    testutil::writeFile(m_tree / "a/b/one.shp", "x");
    testutil::writeFile(m_tree / "c/two.shp", "x");
    const QModelIndex root = connectRoot();
    m_model->setSliceBudgetMs(0);
    QAbstractItemModelTester tester(m_model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);

    SubtreeWalk walk(m_model.get(), {root});
    QSignalSpy finished(&walk, &SubtreeWalk::finished);
    walk.start();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(m_model->nodeCount(), 1 + 2000 + 5);

    // Dropped halfway, asked again, refreshed, unlisted, emptied.
    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
    m_model->relist(root);
    ASSERT_TRUE(inserted.wait(20000));
    m_model->cancelListing(root);
    EXPECT_EQ(m_model->nodeCount(), 1);
    listAndWait(root);
    listAndWait(childNamed(root, "a"));
    m_model->unlist(childNamed(root, "a"));
    m_model->relist(root);
    m_model->clear();
    connectRoot();
    listAndWait(m_model->rootIndex());
    EXPECT_EQ(m_model->nodeCount(), 1 + 2002);
}

// ---- Walks ----------------------------------------------------------------------------

TEST_F(StoreTreeModelTest, ASubtreeWalkListsEverythingBelowAndEndsOnLinkCycles)
{
    testutil::writeFile(m_tree / "a/b/c/deep.shp", "x");
    testutil::writeFile(m_tree / "a/top.shp", "x");
    testutil::writeFile(m_tree / "z/last.shp", "x");
    std::filesystem::create_directory_symlink(m_tree / "a", m_tree / "a/b/back");
    const QModelIndex root = connectRoot();

    SubtreeWalk walk(m_model.get(), {root});
    std::vector<QPersistentModelIndex> left;
    QObject::connect(&walk, &SubtreeWalk::left, &walk, [&](const QModelIndex& node) { left.emplace_back(node); });
    QSignalSpy finished(&walk, &SubtreeWalk::finished);
    walk.start();
    ASSERT_TRUE(finished.wait(20000));
    ASSERT_EQ(finished.count(), 1);
    EXPECT_TRUE(finished.at(0).at(0).toBool());
    EXPECT_FALSE(walk.isRunning());

    const QModelIndex b = childNamed(childNamed(root, "a"), "b");
    const QModelIndex back = childNamed(b, "back");
    EXPECT_EQ(m_model->state(childNamed(b, "c")), State::Listed);
    EXPECT_EQ(m_model->state(back), State::NotListed) << "a link back up is not entered";
    EXPECT_EQ(m_model->rowCount(back), 0);
    EXPECT_EQ(walk.foldersRead(), 6) << "root, a, b, back (found to be a), c, z";
    EXPECT_EQ(m_model->nodeCount(), 9) << "root, a, top.shp, b, c, deep.shp, back, z, last.shp";
    // Children are left before their parents, and the root last.
    ASSERT_FALSE(left.empty());
    EXPECT_EQ(QModelIndex(left.back()), root);
    for (size_t i = 0; i < left.size(); ++i)
        for (size_t j = i + 1; j < left.size(); ++j)
            EXPECT_FALSE(QModelIndex(left[i]) == QModelIndex(left[j]).parent() && left[i].isValid())
                << "a parent left before its child";
}

TEST_F(StoreTreeModelTest, ACancelledWalkLeavesTheFolderItWaitedForUnlisted)
{
    testutil::writeFile(m_tree / "a/one.shp", "x");
    const QModelIndex root = connectRoot();
    SubtreeWalk walk(m_model.get(), {root});
    QSignalSpy finished(&walk, &SubtreeWalk::finished);
    walk.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_model->isListing(); }, 5000));
    walk.cancel();
    walk.cancel();
    ASSERT_EQ(finished.count(), 1) << "told once";
    EXPECT_FALSE(finished.at(0).at(0).toBool());
    EXPECT_FALSE(m_model->isListing());
    EXPECT_EQ(m_model->state(root), State::NotListed);
    QTest::qWait(100);
    EXPECT_EQ(m_model->rowCount(root), 0) << "its late answer is not inserted";
}

TEST_F(StoreTreeModelTest, ThePathWalkFindsADataSetDeepDownOrSaysItIsNotThere)
{
    fill("x/y/", 1500);
    testutil::writeFile(m_tree / "x/y/target.shp", "x");
    testutil::writeFile(m_tree / "x/y/target.shp.xml", "<metadata/>");
    const QModelIndex root = connectRoot();
    m_model->setSliceBudgetMs(0);

    struct Case {
        const char* path;
        bool found;
    } cases[] = {{"x/y/target.shp", true}, {"x/y/missing.shp", false}, {"w/target.shp", false}};
    for (const Case& c : cases) {
        PathWalk walk(m_model.get(), m_tree / c.path, m_tree / (std::string(c.path) + ".xml"));
        QStringList entered;
        QObject::connect(&walk, &PathWalk::entering, &walk,
                [&](const QModelIndex& folder) { entered << treetest::text(folder); });
        QSignalSpy found(&walk, &PathWalk::found);
        QSignalSpy notFound(&walk, &PathWalk::notFound);
        walk.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !walk.isRunning(); }, 20000)) << c.path;
        EXPECT_EQ(found.count(), c.found ? 1 : 0) << c.path;
        EXPECT_EQ(notFound.count(), c.found ? 0 : 1) << c.path;
        if (c.found) {
            const QModelIndex node = found.at(0).at(0).value<QModelIndex>();
            EXPECT_EQ(fileOf(node)->XMLPath, m_tree / "x/y/target.shp.xml");
            EXPECT_EQ(entered, (QStringList{"root", "x", "y"}));
        }
    }
    EXPECT_EQ(m_model->rowCount(childNamed(childNamed(root, "x"), "y")), 1501);
}

} // namespace
