// Saving a metadata file into a full or read-only location, through the
// window's "&Ignore in chartroom" command (which stamps and saves the
// document): the error is shown, the old file stays whole, no temporary
// file is left behind, and once the fault is gone the same command works.
//
// Tests run as root, whom permission bits do not stop, so the faults are
// made otherwise:
//  - FullFileSystem: a small tmpfs filled to the last block (ENOSPC);
//  - ReadOnlyFileSystem: that tmpfs remounted read-only (EROFS);
//  - FileSizeLimit: RLIMIT_FSIZE, which makes the write fail part-way
//    (EFBIG) without any privilege: the deterministic variant of a disk
//    that fills up during the save;
//  - ImmutableDirectory: chattr +i on the folder, which root cannot create
//    files in either (EPERM).
// The first two need CAP_SYS_ADMIN, the last CAP_LINUX_IMMUTABLE on ext4 or
// a similar file system; without them those cases are skipped with a note.
#include <QApplication>
#include <QLabel>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "FaultSupport.h"
#include "WindowFaultFixture.h"

namespace {

using testutil::readFile;
using testutil::writeFile;

enum class Fault { FullFileSystem, ReadOnlyFileSystem, FileSizeLimit, ImmutableDirectory };

struct FaultCase {
    Fault fault;
    const char* name;
    int error;  // what the save runs into
};

const FaultCase kCases[] = {
    {Fault::FullFileSystem, "FullFileSystem", ENOSPC},
    {Fault::ReadOnlyFileSystem, "ReadOnlyFileSystem", EROFS},
    {Fault::FileSizeLimit, "FileSizeLimit", EFBIG},
    {Fault::ImmutableDirectory, "ImmutableDirectory", EPERM},
};

const std::string kOriginal =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<metadata><idinfo><citation><citeinfo><title>Roads</title></citeinfo></citation>"
    "<descript><abstract>" + std::string(2000, 'a') + "</abstract></descript></idinfo></metadata>\n";

using testutil::entries;

class SaveFaultTest : public WindowFaultFixture, public ::testing::WithParamInterface<FaultCase> {
protected:
    std::string store() const { return m_tree / "store/"; }

    // Prepares the location; false (with the reason in m_skip) when the
    // fault cannot be made here.
    bool prepareLocation()
    {
        testutil::makeDir(store());
        if (GetParam().fault == Fault::FullFileSystem || GetParam().fault == Fault::ReadOnlyFileSystem) {
            m_mount = std::make_unique<faults::TmpfsMount>(store(), 256 * 1024);
            if (!m_mount->ok()) {
                m_skip = "cannot mount a tmpfs (needs CAP_SYS_ADMIN): " + m_mount->error();
                return false;
            }
        }
        writeFile(store() + "roads.shp", "shp");
        writeFile(store() + "roads.shp.xml", kOriginal);
        writeFile(store() + "bare.shp", "shp");
        return true;
    }

    // Turns the fault on (for the file-size limit: returns the guard, as the
    // limit is the whole process's and must not outlive the command).
    bool applyFault(std::unique_ptr<faults::FileSizeLimit>& limit)
    {
        switch (GetParam().fault) {
        case Fault::FullFileSystem:
            m_filler = store() + "filler";
            return faults::TmpfsMount::fillWith(m_filler);
        case Fault::ReadOnlyFileSystem:
            return m_mount->setReadOnly(true);
        case Fault::FileSizeLimit:
            limit = std::make_unique<faults::FileSizeLimit>(64);
            return limit->ok();
        case Fault::ImmutableDirectory:
            m_immutable = std::make_unique<faults::ImmutableDirectory>(store());
            if (!m_immutable->ok())
                m_skip = "cannot set the immutable attribute (needs CAP_LINUX_IMMUTABLE and ext4): " +
                         m_immutable->error();
            return m_immutable->ok();
        }
        return false;
    }

    void liftFault()
    {
        switch (GetParam().fault) {
        case Fault::FullFileSystem:
            std::filesystem::remove(m_filler);
            break;
        case Fault::ReadOnlyFileSystem:
            ASSERT_TRUE(m_mount->setReadOnly(false));
            break;
        case Fault::FileSizeLimit:
            break;
        case Fault::ImmutableDirectory:
            m_immutable->lift();
            break;
        }
    }

    // Runs "&Ignore in chartroom" on `node` alone, with the fault on.
    void ignoreWithFault(QModelIndex node)
    {
        selectOnly(node);
        std::unique_ptr<faults::FileSizeLimit> limit;
        ASSERT_TRUE(applyFault(limit));
        window().mnuIgnoreInChartroomClick();
        waitForCatalogueTask();
    }

    std::unique_ptr<faults::TmpfsMount> m_mount;
    std::unique_ptr<faults::ImmutableDirectory> m_immutable;
    std::string m_filler;
    std::string m_skip;
};

TEST_P(SaveFaultTest, ErrorIsShownAndTheOldFileStaysWhole)
{
    if (!prepareLocation())
        GTEST_SKIP() << m_skip;
    TdlgAtlasdesk& w = window();
    QModelIndex storeNode = child(connectAndExpand(), "store");
    ASSERT_TRUE(storeNode.isValid());
    expand(storeNode);
    waitForListings();
    QModelIndex roads = child(storeNode, "roads.shp");
    QModelIndex bare = child(storeNode, "bare.shp");
    ASSERT_TRUE(roads.isValid() && bare.isValid());

    if (GetParam().fault == Fault::ImmutableDirectory) {
        // Known before the window runs into it, so that a missing
        // capability is a skip, not a failure.
        faults::ImmutableDirectory test(store());
        if (!test.ok())
            GTEST_SKIP() << "cannot set the immutable attribute (needs CAP_LINUX_IMMUTABLE and ext4): "
                         << test.error();
    }

    ignoreWithFault(roads);
    const std::string xmlPath = store() + "roads.shp.xml";
    const QString expected = QString::fromStdString("Cannot save " + xmlPath + ": " +
                                                    faults::errorText(GetParam().error) + ".");
    EXPECT_EQ(m_errors, QStringList{expected});
    EXPECT_EQ(readFile(xmlPath), kOriginal) << "the old file is whole";
    std::vector<std::string> expectedEntries = {"bare.shp", "roads.shp", "roads.shp.xml"};
    if (!m_filler.empty())
        expectedEntries.push_back("filler");
    std::sort(expectedEntries.begin(), expectedEntries.end());
    EXPECT_EQ(entries(store()), expectedEntries) << "no temporary file is left behind";
    EXPECT_EQ(w.lblTask->text(), "Ready:");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the normal pointer is back";
    ASSERT_EQ(w.SelectedFiles.size(), 1u);
    EXPECT_EQ(w.SelectedFiles[0]->Doc, nullptr) << "the document is released";

    // A data set without metadata gets a new document, which cannot be
    // saved either: no file, not even an empty one, appears.
    m_errors.clear();
    liftFault();
    ignoreWithFault(bare);
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].startsWith(QString::fromStdString("Cannot save " + store() + "bare.shp.xml: ")))
        << m_errors[0].toStdString();
    EXPECT_FALSE(testutil::exists(store() + "bare.shp.xml"));
    EXPECT_EQ(entries(store()), expectedEntries);

    // The fault gone, the same command works on the same window.
    liftFault();
    m_errors.clear();
    selectOnly(roads);
    w.mnuIgnoreInChartroomClick();
    ASSERT_TRUE(waitForCatalogueTask());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(tXMLDocument(xmlPath).GetNodeText("metadata/metainfo/atlasdesk/ignore"), "Yes");
    EXPECT_EQ(tXMLDocument(xmlPath).GetNodeText("idinfo/descript/abstract"), std::string(2000, 'a'));
}

INSTANTIATE_TEST_SUITE_P(Faults, SaveFaultTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

} // namespace
