// The tree on a share that is slow or stops answering, for real: a FUSE
// pass-through file system of ours (tests/slowfs) delays every entry read
// and can be told to hang.
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "AppFixture.h"
#include "model/ListingService.h"
#include "SlowMount.h"
#include "model/StoreIndexer.h"

namespace {

using testutil::makeDir;
using testutil::writeFile;

class SlowShareTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        const std::string why = SlowMount::unavailable(ATLASDESK_SLOWFS);
        if (!why.empty()) {
            if (const char* ci = std::getenv("CI"); ci && std::string(ci) == "true")
                FAIL() << "these tests need FUSE: " << why;
            GTEST_SKIP() << "these tests need FUSE: " << why;
        }
    }
    void TearDown() override
    {
        m_window.reset(); // no listing may still read the share
        m_mount.reset();
        AppFixture::TearDown();
    }
    // Mounts m_source at a fresh mount point; every entry read waits `delayUs`.
    std::string mount(long delayUs, const std::string& hangPrefix = "/nothing-hangs")
    {
        makeDir(m_work / "mnt");
        m_mount = std::make_unique<SlowMount>(ATLASDESK_SLOWFS, m_source.path(), m_work / "mnt", delayUs, hangPrefix);
        EXPECT_TRUE(m_mount->mounted()) << "the slow file system did not come up";
        return m_mount->path();
    }
    // A share with the folders "fine" (4 data sets) and "hung" (3, which
    // hang when told to), connected with a listing time-out of 0.7 s and its
    // root listed; the root node.
    QModelIndex connectToFineAndHung()
    {
        fill(m_source.path() + "hung", 3);
        fill(m_source.path() + "fine", 4);
        const std::string share = mount(0, "/hung");
        window().listingService()->setTimeoutMs(700);
        window().ConnectToServer(share);
        QModelIndex root = window().tvXMLTree->rootNode();
        expand(root);
        waitForListings();
        return root;
    }
    void fill(const std::string& dir, int files)
    {
        makeDir(dir);
        for (int i = 0; i < files; ++i)
            writeFile(dir + "/f" + std::to_string(1000 + i) + ".shp", "shp");
    }
    static int countBelow(const QModelIndex& node)
    {
        int n = 0;
        for (int i = 0; i < rowCount(node); ++i)
            n += 1 + countBelow(childAt(node, i));
        return n;
    }
    static bool loading(const QModelIndex& node) { return node.data(Qt::ToolTipRole).toString() == QStringLiteral("Loading…"); }

    testutil::TempDir m_source;
    std::unique_ptr<SlowMount> m_mount;
};

TEST_F(SlowShareTest, TheWindowKeepsReactingWhileASlowDirectoryIsListed)
{
    fill(m_source.path() + "big", 500);
    const std::string share = mount(10000); // 10 ms per entry: some 5 s in all
    TdlgAtlasdesk& w = window();
    w.ConnectToServer(share + "big");
    QModelIndex root = w.tvXMLTree->rootNode();
    ASSERT_TRUE(root.isValid());

    int ticks = 0;
    qint64 longestGap = 0;
    QElapsedTimer sinceTick;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (sinceTick.isValid())
            longestGap = std::max(longestGap, sinceTick.elapsed());
        sinceTick.restart();
        ++ticks;
    });
    timer.start();
    QElapsedTimer clock;
    clock.start();
    expand(root);
    EXPECT_LT(clock.elapsed(), 1000) << "expanding does not wait for the listing";
    EXPECT_TRUE(w.listingBusy());
    EXPECT_TRUE(loading(root)) << "the node shows that it is loading";
    EXPECT_EQ(rowCount(root), 0);
    waitForListings();
    timer.stop();
    EXPECT_GE(clock.elapsed(), 4000) << "the listing was slow indeed";
    EXPECT_GT(ticks, 100) << "the timer kept firing";
    EXPECT_LT(longestGap, 1000) << "no long freeze of the event loop";
    EXPECT_EQ(rowCount(root), 500);
    EXPECT_FALSE(loading(root));
    EXPECT_EQ(w.stItems->text(), "Items: 501");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(SlowShareTest, CancelStopsAnExpandAllAndLeavesAConsistentTree)
{
    for (int d = 0; d < 30; ++d)
        fill(m_source.path() + "d" + std::to_string(10 + d), 20);
    const std::string share = mount(5000); // about 0.1 s per folder
    TdlgAtlasdesk& w = window();
    w.ConnectToServer(share);
    QModelIndex root = w.tvXMLTree->rootNode();
    EXPECT_TRUE(w.btCancelTask->isHidden()) << "no task, no Cancel";
    w.mnuXMLExpandAllClick();
    EXPECT_FALSE(w.btCancelTask->isHidden());
    EXPECT_TRUE(w.btCancelTask->isVisibleTo(&w)) << "the status line shows while the walk runs, in every edition";
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowCount(root) > 0 && isListed(childAt(root, 2)); }, 30000));
    EXPECT_TRUE(w.lblTask->text().contains("folders read")) << w.lblTask->text().toStdString();

    QElapsedTimer clock;
    clock.start();
    w.btCancelTask->click();
    EXPECT_LT(clock.elapsed(), 100);
    EXPECT_FALSE(w.listingBusy()) << "stopped at once";
    EXPECT_TRUE(w.btCancelTask->isHidden());
    EXPECT_FALSE(w.Panel1->isVisibleTo(&w)) << "the View edition's status line is hidden again";
    EXPECT_TRUE(w.lblTask->text().startsWith("Stopped")) << w.lblTask->text().toStdString();
    // What was read stays; the rest is unlisted and can still be expanded.
    int listed = 0;
    for (int i = 0; i < rowCount(root); ++i) {
        QModelIndex dir = childAt(root, i);
        EXPECT_FALSE(loading(dir));
        if (isListed(dir)) {
            ++listed;
            EXPECT_EQ(rowCount(dir), 20);
        } else {
            EXPECT_EQ(rowCount(dir), 0);
            EXPECT_TRUE(hasChildren(dir));
        }
    }
    EXPECT_GE(listed, 3);
    EXPECT_LT(listed, 30);
    EXPECT_EQ(w.stItems->text(), QStringLiteral("Items: %1").arg(1 + countBelow(root)));

    // Not stopped, Expand all ends as it always did; Esc stops one too.
    w.tvXMLTree->clearSelection();
    w.tvXMLTree->addToSelection(root);
    ASSERT_EQ(selectedTexts(), QStringList{text(root)});
    w.mnuXMLExpandAllClick();
    waitForListings();
    EXPECT_EQ(countBelow(root), 30 + 30 * 20);
    EXPECT_EQ(w.stItems->text(), QStringLiteral("Items: %1").arg(1 + 30 + 30 * 20));
    for (int i = 0; i < rowCount(root); ++i)
        EXPECT_TRUE(isExpanded(childAt(root, i)));

    w.ConnectToServer(share);
    w.mnuSelectChildrenClick();
    ASSERT_TRUE(w.cancellableTaskRunning());
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ASSERT_TRUE(w.cancellableTaskRunning()) << "the walk is still running";
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.listingBusy());
    EXPECT_EQ(selectedTexts(), QStringList{text(w.tvXMLTree->rootNode())})
        << "a stopped Select children selects nothing new";
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(SlowShareTest, AHungDirectoryGivesAnErrorAndTheRestStaysUsable)
{
    QModelIndex root = connectToFineAndHung();
    TdlgAtlasdesk& w = window();
    ASSERT_EQ(childTexts(root), (QStringList{"fine", "hung"}));
    QModelIndex hung = child(root, "hung");
    QModelIndex fine = child(root, "fine");

    m_mount->hang();
    QElapsedTimer clock;
    clock.start();
    expand(hung);
    expand(fine); // answered while the other read hangs
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowCount(fine) == 4; }, 10000));
    waitForListings();
    EXPECT_GE(clock.elapsed(), 600) << "the hung read was given its time";
    EXPECT_EQ(rowCount(hung), 0);
    const QString error = hung.data(StoreTreeModel::ListingErrorRole).toString();
    EXPECT_TRUE(error.contains("No answer")) << error.toStdString();
    EXPECT_EQ(hung.data(Qt::ToolTipRole).toString(), error);
    EXPECT_EQ(w.lblTask->text(), error) << "the status line tells it too";
    EXPECT_EQ(w.StatusMessage(), error) << "and the message line, which the View edition shows";
    EXPECT_TRUE(m_errors.isEmpty()) << "no box stops the user: " << m_errors.join('\n').toStdString();

    // The tree stays usable: selection, collapse, other folders.
    w.tvXMLTree->clearSelection();
    w.tvXMLTree->addToSelection(child(fine, "f1000.shp"));
    EXPECT_EQ(w.stSelected->text(), "Selected: 1");

    // Released, the stuck read ends; its late answer is dropped, and
    // Refresh lists the folder.
    m_mount->release();
    w.tvXMLTree->setCurrentIndex(hung);
    w.mnuRefreshClick();
    waitForListings();
    EXPECT_EQ(childTexts(hung), (QStringList{"f1000.shp", "f1001.shp", "f1002.shp"}));
    EXPECT_TRUE(hung.data(StoreTreeModel::ListingErrorRole).isNull());
    EXPECT_EQ(w.stItems->text(), QStringLiteral("Items: %1").arg(1 + countBelow(root)));
}

// The search index's update reads the share with threads of its own: one
// stuck on a folder that does not answer holds neither the update's end
// nor the next update.
TEST_F(SlowShareTest, AnIndexUpdateStopsAtOnceWhileTheShareHangs)
{
    fill(m_source.path() + "fine", 4);
    fill(m_source.path() + "hung", 3);
    for (int i = 0; i < 4; ++i)
        writeFile(m_source.path() + "fine/f" + std::to_string(1000 + i) + ".shp.xml", "<metadata/>");
    const std::string share = mount(0, "/hung");
    window(); // the configuration the update reads
    testutil::TempDir cache;
    const IndexSettings settings = IndexSettings::fromConfiguration(share, QString::fromStdString(cache / "index.sqlite"));
    StoreIndexer indexer;
    QSignalSpy finished(&indexer, &StoreIndexer::finished);
    m_mount->hang();
    indexer.start(settings);
    QTest::qWait(300);
    ASSERT_TRUE(indexer.isRunning()) << "the walk waits for the hung folder";
    QElapsedTimer clock;
    clock.start();
    indexer.cancel();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_LT(clock.elapsed(), 500) << "stopped without waiting for the share";
    EXPECT_TRUE(finished.takeFirst().at(0).value<IndexReport>().cancelled);
    EXPECT_FALSE(indexer.isRunning());

    // Released, the stuck read of the stopped update ends on its own, and a
    // new update reads the whole share.
    m_mount->release();
    indexer.start(settings);
    ASSERT_TRUE(finished.wait(30000));
    const IndexReport report = finished.takeFirst().at(0).value<IndexReport>();
    EXPECT_FALSE(report.cancelled);
    EXPECT_TRUE(report.error.isEmpty()) << report.error.toStdString();
    EXPECT_EQ(report.total, 7);
    EXPECT_EQ(report.read, 4);
}

// "&Select children" acts on a whole subtree: when a folder below cannot be
// read, it ends without selecting, says why, and leaves the selection alone.
TEST_F(SlowShareTest, SelectChildrenEndsWhenAFolderCannotBeRead)
{
    QModelIndex root = connectToFineAndHung();
    TdlgAtlasdesk& w = window();
    m_mount->hang();
    w.tvXMLTree->clearSelection();
    w.tvXMLTree->addToSelection(root);
    w.mnuSelectChildrenClick();
    waitForListings();
    m_mount->release();
    EXPECT_EQ(w.tvXMLTree->selectionCount(), 1) << "nothing below the root was selected";
    EXPECT_TRUE(w.StatusMessage().startsWith("Stopped: No answer")) << w.StatusMessage().toStdString();
    EXPECT_TRUE(w.btCancelTask->isHidden());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();

    // Readable, the same command selects the whole subtree.
    w.tvXMLTree->setCurrentIndex(child(root, "hung"));
    w.mnuRefreshClick();
    waitForListings();
    w.tvXMLTree->clearSelection();
    w.tvXMLTree->addToSelection(root);
    w.mnuSelectChildrenClick();
    waitForListings();
    EXPECT_EQ(w.tvXMLTree->selectionCount(), 1 + 2 + 3 + 4);
}

// Connecting asks the disk nothing on the window's thread: on a share whose
// every stat takes 1.5 s the command returns at once, and what the disk says
// of the root arrives later.
TEST_F(SlowShareTest, ConnectingToASlowRootReturnsAtOnce)
{
    fill(m_source.path() + "sub", 2);
    const std::string share = mount(1500000);
    TdlgAtlasdesk& w = window();
    QElapsedTimer clock;
    clock.start();
    w.ConnectToServer(share + "/sub");
    EXPECT_LT(clock.elapsed(), 500) << "the window waited for the share";
    ASSERT_TRUE(w.tvXMLTree->rootNode().isValid());
    EXPECT_TRUE(w.rootProbePending());
    waitForListings();
    QModelIndex root = w.tvXMLTree->rootNode();
    ASSERT_TRUE(root.isValid());
    EXPECT_EQ(text(root), "sub");
    EXPECT_TRUE(hasChildren(root)) << "a folder: it can be expanded";
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(SlowShareTest, CollapseRefreshOrReconnectDropAPendingRead)
{
    fill(m_source.path() + "slow", 100);
    const std::string share = mount(20000); // some 2 s
    TdlgAtlasdesk& w = window();
    w.ConnectToServer(share);
    QModelIndex root = w.tvXMLTree->rootNode();
    expand(root);
    waitForListings();
    QModelIndex slow = child(root, "slow");
    ASSERT_TRUE(slow.isValid());
    QSignalSpy answers(w.listingService(), &ListingService::listed);

    // Collapsed while loading: nothing is attached, the node can be listed again.
    expand(slow);
    ASSERT_TRUE(loading(slow));
    collapse(slow);
    EXPECT_FALSE(w.listingBusy());
    EXPECT_FALSE(loading(slow));
    EXPECT_FALSE(isListed(slow));
    EXPECT_TRUE(hasChildren(slow));
    expand(slow);
    waitForListings();
    EXPECT_EQ(rowCount(slow), 100) << "attached once, from the second request only";
    EXPECT_EQ(answers.count(), 1) << "the dropped request is not answered";
    EXPECT_EQ(w.stItems->text(), "Items: 102");

    // Refresh while loading: the refreshed listing only.
    w.tvXMLTree->setCurrentIndex(slow);
    w.mnuRefreshClick();
    EXPECT_TRUE(w.listingBusy());
    w.mnuRefreshClick();
    waitForListings();
    EXPECT_EQ(rowCount(slow), 100);
    EXPECT_EQ(w.stItems->text(), "Items: 102");

    // Reconnecting while loading: a new tree, nothing of the old read.
    collapse(slow);
    w.tvXMLTree->setCurrentIndex(slow);
    w.mnuRefreshClick();
    ASSERT_TRUE(w.listingBusy());
    w.ConnectToServer(share);
    EXPECT_FALSE(w.listingBusy());
    EXPECT_EQ(w.storeTree()->nodeCount(), 1);
    const int before = answers.count();
    expand(w.tvXMLTree->rootNode());
    waitForListings();
    EXPECT_EQ(answers.count(), before + 1);
    EXPECT_EQ(childTexts(w.tvXMLTree->rootNode()), QStringList{"slow"});
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(SlowShareTest, ClicksDuringAWalkDoNotChangeItsEndState)
{
    for (int d = 0; d < 6; ++d)
        fill(m_source.path() + "d" + std::to_string(d) + "/inner", 5);
    const std::string share = mount(3000);
    TdlgAtlasdesk& w = window();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.ConnectToServer(share);
    QModelIndex root = w.tvXMLTree->rootNode();
    w.mnuSelectChildrenClick();
    // Clicks on whatever rows are there while the walk runs.
    while (w.listingBusy()) {
        const int rows = std::max(1, w.tvXMLTree->viewport()->height() / 16);
        for (int r = 0; r < rows && w.listingBusy(); r += 3) {
            // Right of the expand marks of the first three levels: on pictures and texts.
            QTest::mouseClick(w.tvXMLTree->viewport(), Qt::LeftButton, Qt::ControlModifier, QPoint(70, 8 + 16 * r));
            QTest::qWait(5);
        }
    }
    root = w.tvXMLTree->rootNode();
    EXPECT_EQ(countBelow(root), 6 * (1 + 1 + 5));
    EXPECT_EQ(w.tvXMLTree->selectionCount(), 1 + countBelow(root)) << "the walk's own end state";
    EXPECT_EQ(w.tvXMLTree->primaryNode(), root);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

} // namespace
