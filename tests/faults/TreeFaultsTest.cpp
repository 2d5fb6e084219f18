// The server tree against a file system that does not cooperate: a
// directory that cannot be read, one that vanishes (or turns into a file)
// between listing and expansion, and symbolic links that loop. Listing,
// expanding, "Expand all", "Select children", "Refresh", the pages and
// "Open file(s)" must end, must not crash, and must show what is there.
//
// What each case proves:
//  - UnreadableDirectory: opendir fails with EACCES. Root reads any
//    directory, so the test drops CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH
//    from its own thread, and chmod 000 then stops it as it stops a user.
//  - VanishedDirectory / DirectoryTurnedIntoAFile: the listing's result is
//    out of date when the node is expanded (ENOENT, ENOTDIR), and data sets
//    of a vanished folder are still in the tree.
//  - MetadataFileThatIsANamedPipe: a FIFO named like a metadata file, whose
//    open or read would block for ever; every page refuses it at once.
//  - SymbolicLinkLoops: a link to itself and two links to each other fail
//    with ELOOP; a link to an ancestor and a link to its own folder are real
//    cycles that stat follows; expanding a link to its own folder by hand
//    goes on until the path holds more links than the system resolves
//    (ELOOP after 40), where the listing simply ends.
#include <sys/stat.h>
#include <dirent.h>
#include <unistd.h>

#include <QLabel>

#include <filesystem>

#include "FaultSupport.h"
#include "WindowFaultFixture.h"

namespace {

using testutil::writeFile;

QStringList sorted(QStringList texts)
{
    texts.sort();
    return texts;
}

class TreeFaultTest : public WindowFaultFixture {
protected:
    // Every node below `node`, depth first.
    static int countBelow(const QModelIndex& node)
    {
        int n = 0;
        for (int i = 0; i < rowCount(node); ++i)
            n += 1 + countBelow(childAt(node, i));
        return n;
    }

    // "Select children" on `node`: it expands everything below first.
    void selectChildren(QModelIndex node)
    {
        selectOnly(node);
        window().mnuSelectChildrenClick();
        waitForListings();
    }
};

TEST_F(TreeFaultTest, UnreadableDirectory)
{
    writeFile(m_tree / "secret/hidden.shp", "shp");
    writeFile(m_tree / "secret/inner/deeper.shp", "shp");
    writeFile(m_tree / "open/seen.shp", "shp");
    ASSERT_EQ(::chmod((m_tree / "secret").c_str(), 0), 0);
    struct RestoreMode {
        std::string dir;
        ~RestoreMode() { ::chmod(dir.c_str(), 0755); }
    } restore{m_tree / "secret"};
    faults::PermissionBitsHold bitsHold;
    if (DIR* d = ::opendir((m_tree / "secret").c_str())) {
        ::closedir(d);
        GTEST_SKIP() << "this process reads a chmod 000 directory (capabilities cannot be dropped here)";
    }

    TdlgAtlasdesk& w = window();
    QModelIndex root = connectAndExpand();
    EXPECT_EQ(childTexts(root), (QStringList{"open", "secret"}));
    QModelIndex secret = child(root, "secret");
    ASSERT_TRUE(secret.isValid());
    expand(secret);
    waitForListings();
    EXPECT_EQ(rowCount(secret), 0);
    EXPECT_FALSE(hasChildren(secret)) << "nothing to expand any more";

    selectChildren(root);
    EXPECT_EQ(sortedSelectedTexts(), sorted({text(root), "open", "seen.shp", "secret"}));
    EXPECT_EQ(w.stItems->text(), "Items: 4");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();

    // Readable again: Refresh lists it.
    ::chmod((m_tree / "secret").c_str(), 0755);
    selectOnly(secret);
    w.mnuRefreshClick();
    waitForListings();
    EXPECT_EQ(childTexts(secret), (QStringList{"hidden.shp", "inner"}));
}

TEST_F(TreeFaultTest, VanishedDirectory)
{
    writeFile(m_tree / "gone/inner/a.shp", "shp");
    writeFile(m_tree / "gone/b.shp", "shp");
    writeFile(m_tree / "gone/b.shp.xml", "<metadata><idinfo><citation><citeinfo><title>B</title>"
                                         "</citeinfo></citation></idinfo></metadata>");
    writeFile(m_tree / "later/c.shp", "shp");
    writeFile(m_tree / "kept/d.shp", "shp");
    TdlgAtlasdesk& w = window();
    useRecordingOpener();
    QModelIndex root = connectAndExpand();
    QModelIndex gone = child(root, "gone");
    ASSERT_TRUE(gone.isValid());
    expand(gone);
    waitForListings();
    QModelIndex b = child(gone, "b.shp");
    QModelIndex inner = child(gone, "inner");
    ASSERT_TRUE(b.isValid() && inner.isValid());

    // Listed, then removed before the nodes are used.
    std::filesystem::remove_all(m_tree / "gone");
    std::filesystem::remove_all(m_tree / "later");
    expand(inner);
    waitForListings();
    EXPECT_EQ(rowCount(inner), 0);
    QModelIndex later = child(root, "later");
    ASSERT_TRUE(later.isValid());
    expand(later);
    waitForListings();
    EXPECT_EQ(rowCount(later), 0);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();

    // Its data set is still in the tree: the pages say it has no metadata,
    // opening it says why.
    w.PageControl1->setCurrentWidget(w.tabThumbnail);
    selectOnly(b);
    ASSERT_TRUE(viewsSettled());
    EXPECT_TRUE(w.imgThumbnail->pixmap().isNull());
    EXPECT_TRUE(w.edThbFilename->text().isEmpty());
    EXPECT_FALSE(pageAfter(w.wbXML, [&] { w.PageControl1->setCurrentWidget(w.tabXML); }))
        << "no rendered page for a vanished metadata file";
    EXPECT_TRUE(pageText(w.wbXML).contains("There is no metadata for"));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    w.OnMnuOpenFilesClick();
    EXPECT_EQ(m_errors, QStringList{QString::fromStdString("File '" + m_tree / "gone/b.shp" + "' not found.")});
    EXPECT_TRUE(opened().empty());

    // Expand all and Select children go over the stale nodes.
    m_errors.clear();
    selectChildren(root);
    EXPECT_EQ(sortedSelectedTexts(), sorted({text(root), "gone", "b.shp", "inner", "kept", "d.shp", "later"}));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();

    // Refresh puts the tree right.
    selectOnly(root);
    w.mnuRefreshClick();
    waitForListings();
    EXPECT_EQ(childTexts(root), (QStringList{"kept"}));
    EXPECT_TRUE(w.SelectedFiles.size() <= 1u);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(TreeFaultTest, DirectoryTurnedIntoAFile)
{
    writeFile(m_tree / "swapped/a.shp", "shp");
    window();
    QModelIndex root = connectAndExpand();
    QModelIndex swapped = child(root, "swapped");
    ASSERT_TRUE(swapped.isValid());
    std::filesystem::remove_all(m_tree / "swapped");
    writeFile(m_tree / "swapped", "now a file");
    expand(swapped);
    waitForListings();
    EXPECT_EQ(rowCount(swapped), 0);
    selectChildren(root);
    EXPECT_EQ(sortedSelectedTexts(), sorted({text(root), "swapped"}));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(TreeFaultTest, SymbolicLinkLoops)
{
    namespace fs = std::filesystem;
    writeFile(m_tree / "sub/data.shp", "shp");
    writeFile(m_tree / "sub/data.shp.xml", "<metadata/>");
    fs::create_symlink("self", m_tree / "self");        // itself
    fs::create_symlink("pong", m_tree / "ping");        // two links to each other
    fs::create_symlink("ping", m_tree / "pong");
    fs::create_symlink("loop.shp", m_tree / "loop.shp"); // a data set's name, itself
    fs::create_symlink("nowhere", m_tree / "dangling");  // nothing
    fs::create_symlink("..", m_tree / "sub/up");         // the root again
    fs::create_symlink(".", m_tree / "sub/here");        // its own folder

    TdlgAtlasdesk& w = window();
    useRecordingOpener();
    QModelIndex root = connectAndExpand();
    EXPECT_EQ(childTexts(root), (QStringList{"loop.shp", "sub"})) << "links that lead nowhere are no folders";
    QModelIndex sub = child(root, "sub");
    ASSERT_TRUE(sub.isValid());
    expand(sub);
    waitForListings();
    EXPECT_EQ(childTexts(sub), (QStringList{"data.shp", "here", "up"}));

    // Expand all stops at the cycles: a folder already on the way down is
    // not entered again.
    selectOnly(root);
    w.mnuXMLExpandAllClick();
    waitForListings();
    QModelIndex up = child(sub, "up");
    QModelIndex here = child(sub, "here");
    ASSERT_TRUE(up.isValid() && here.isValid());
    EXPECT_EQ(rowCount(up), 0);
    EXPECT_EQ(rowCount(here), 0);
    EXPECT_EQ(countBelow(root), 5);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();

    // By hand, "here" can be expanded again and again; the path grows by a
    // link each time until the system gives up resolving it: from there on
    // no folder is listed any more.
    QModelIndex node = sub;
    int depth = 0;
    for (; depth < 60; ++depth) {
        QModelIndex next;
        for (int i = 0; i < rowCount(node); ++i)
            if (text(childAt(node, i)) == "here")
                next = childAt(node, i);
        if (!next.isValid())
            break;
        w.ScanDirectoryNode(next);
        waitForListings();
        node = next;
    }
    EXPECT_GE(depth, 30);
    EXPECT_LT(depth, 60) << "the listing of ever longer link paths ends";

    // Select children after all that: every node once, no hang.
    m_errors.clear();
    selectChildren(root);
    EXPECT_EQ(w.tvXMLTree->selectionCount(), 1 + countBelow(root));

    // The data set whose name is a link to itself: no page, and opening it
    // says it is not there.
    QModelIndex loop = child(root, "loop.shp");
    ASSERT_TRUE(loop.isValid());
    w.PageControl1->setCurrentWidget(w.tabThumbnail);
    selectOnly(loop);
    ASSERT_TRUE(viewsSettled());
    EXPECT_TRUE(w.imgThumbnail->pixmap().isNull());
    w.OnMnuOpenFilesClick();
    EXPECT_EQ(m_errors, QStringList{QString::fromStdString("File '" + m_tree / "loop.shp" + "' not found.")});
    EXPECT_TRUE(opened().empty());
}

TEST_F(TreeFaultTest, MetadataFileThatIsANamedPipe)
{
    writeFile(m_tree / "pipe.shp", "shp");
    ASSERT_EQ(::mkfifo((m_tree / "pipe.shp.xml").c_str(), 0644), 0);
    TdlgAtlasdesk& w = window();
    QModelIndex node = child(connectAndExpand(), "pipe.shp");
    ASSERT_TRUE(node.isValid());
    const QString path = QString::fromStdString(m_tree / "pipe.shp.xml");

    w.PageControl1->setCurrentWidget(w.tabThumbnail);
    selectOnly(node);
    ASSERT_TRUE(viewsSettled());
    EXPECT_EQ(m_errors, QStringList{"An error occured while loading " + path + "."});
    m_errors.clear();

    EXPECT_FALSE(pageAfter(w.wbXML, [&] { w.PageControl1->setCurrentWidget(w.tabXML); }));
    EXPECT_TRUE(pageText(w.wbXML).contains("The file could not be opened"));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();

    w.PageControl1->setCurrentWidget(w.TabXSL);
    ASSERT_TRUE(viewsSettled());
    EXPECT_EQ(m_errors, QStringList{"Cannot open " + path + "."});
}

} // namespace
