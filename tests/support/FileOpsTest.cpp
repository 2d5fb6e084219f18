#include "support/Errors.h"
#include "support/FileOps.h"
#include "support/PathOps.h"
#include "SupportTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int64_t threeGiB = int64_t(3) << 30;

// A file of `size` bytes that takes no disk space.
bool makeSparseFile(const std::string& path, int64_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::ftruncate(fd, size) == 0;
    ::close(fd);
    return ok;
}

void makeDir(const std::string& path)
{
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path;
}

// ---- Version ----

TEST(FileOps, VersionOfThisBuild)
{
    const VersionNumbers v = GetVersionNumbers();
    EXPECT_EQ(v.major, 1);
    EXPECT_EQ(v.minor, 2);
    EXPECT_EQ(v.release, 0);
    EXPECT_EQ(v.build, 48);

    const std::pair<uint8_t, std::string> cases[] = {
        {0, "1"}, {1, "1"}, {2, "1.2"}, {3, "1.2.0"}, {4, "1.2.0.48"}, {9, "1.2.0.48"},
    };
    for (const auto& [n, expected] : cases)
        EXPECT_EQ(VersionString(n), expected) << int(n);
}

// ---- Copying ----

TEST(FileOps, CopyFileOver)
{
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string source = dir.path() + "source.xsl";
    const std::string fresh = dir.path() + "fresh.xsl";
    const std::string existing = dir.path() + "existing.xsl";
    writeFile(source, "<xsl/>");
    writeFile(existing, std::string(5000, 'o'));

    EXPECT_TRUE(CopyFileOver(source, fresh));
    EXPECT_EQ(readFile(fresh), "<xsl/>");
    EXPECT_TRUE(CopyFileOver(source, existing));
    EXPECT_EQ(readFile(existing), "<xsl/>");
}

// A copy that is up to date is not written again (the Metadata page copies
// its stylesheet for every page); one that differs only in its bytes is.
TEST(FileOps, CopyFileOverLeavesATargetThatIsUpToDate)
{
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string source = dir.path() + "source.xsl";
    const std::string target = dir.path() + "target.xsl";
    const struct timespec old[2] = {{946684800, 0}, {946684800, 0}}; // 2000-01-01
    const auto stamp = [&] {
        struct stat st {};
        EXPECT_EQ(::stat(target.c_str(), &st), 0);
        return std::pair(st.st_ino, st.st_mtim.tv_sec);
    };

    writeFile(source, "<xsl version=1/>");
    writeFile(target, "<xsl version=1/>");
    ASSERT_EQ(::utimensat(AT_FDCWD, target.c_str(), old, 0), 0);
    const auto before = stamp();
    EXPECT_TRUE(CopyFileOver(source, target));
    EXPECT_EQ(stamp(), before) << "the same bytes were written again";

    writeFile(source, "<xsl version=2/>"); // same size, other bytes
    EXPECT_TRUE(CopyFileOver(source, target));
    EXPECT_EQ(readFile(target), "<xsl version=2/>");
    EXPECT_NE(stamp().second, before.second);
}

TEST(FileOps, CopyFileOverItselfKeepsTheFile)
{
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string file = dir.path() + "keep.xsl";
    const std::string link = dir.path() + "link.xsl";
    writeFile(file, "content");
    ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);

    EXPECT_TRUE(CopyFileOver(file, file));
    EXPECT_EQ(readFile(file), "content");
    EXPECT_TRUE(CopyFileOver(link, file));
    EXPECT_EQ(readFile(file), "content");
}

TEST(FileOps, CopyFileOverAFailureLeavesTheTarget)
{
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string target = dir.path() + "target.xsl";
    writeFile(target, "old");
    EXPECT_TRUE(CopyFileOver(dir.path() + "missing.xsl", target));
    EXPECT_EQ(readFile(target), "old");
    EXPECT_TRUE(CopyFileOver(dir.path(), target));   // a folder is no source
    EXPECT_EQ(readFile(target), "old");
    EXPECT_TRUE(CopyFileOver(target, dir.path() + "no folder/x.xsl"));
    EXPECT_FALSE(IsDirectory(dir.path() + "no folder"));
}

// ---- Reading ----

TEST(FileOps, ReadRegularFile)
{
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string big(200000, 'x');
    writeFile(dir.path() + "big.xml", big);
    writeFile(dir.path() + "empty.xml", "");
    makeDir(dir.path() + "folder.xml");
    ASSERT_EQ(::mkfifo((dir.path() + "pipe.xml").c_str(), 0644), 0);

    const struct {
        std::string path;
        std::size_t limit;
        bool ok;
        std::string expected;
    } cases[] = {
        {dir.path() + "big.xml", std::size_t(-1), true, big},
        {dir.path() + "big.xml", 70000, true, big.substr(0, 70000)},  // across a buffer's end
        {dir.path() + "big.xml", 0, true, ""},
        {dir.path() + "empty.xml", std::size_t(-1), true, ""},
        {dir.path() + "missing.xml", std::size_t(-1), false, ""},
        {dir.path() + "folder.xml", std::size_t(-1), false, ""},
        {dir.path() + "pipe.xml", std::size_t(-1), false, ""},  // no writer: would block for ever
    };
    for (const auto& c : cases) {
        std::string bytes = "old";
        EXPECT_EQ(ReadRegularFile(c.path, bytes, c.limit), c.ok) << c.path;
        EXPECT_EQ(bytes, c.expected) << c.path << " " << c.limit;
    }
}

// ---- Sizes ----

TEST(FileOps, FileSize64)
{
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    makeDir(dir.path() + "sub");
    makeDir(dir.path() + "folder.txt");
    writeFile(dir.path() + "empty.dat", "");
    writeFile(dir.path() + "ten.dat", "0123456789");
    writeFile(dir.path() + "a[1].dat", "xyz");
    ASSERT_TRUE(makeSparseFile(dir.path() + "big.img", threeGiB));

    const struct {
        std::string path;
        int64_t expected;
    } cases[] = {
        {dir.path() + "ten.dat", 10},
        {dir.path() + "empty.dat", 0},
        {dir.path() + "big.img", threeGiB},
        {dir.path() + "missing.dat", -1},
        {dir.path() + "sub", -1},
        {dir.path(), -1},
        {dir.path() + "a[1].dat", 3},
        {dir.path() + "t?n.dat", 10},
        {dir.path() + "*.img", threeGiB},
        {dir.path() + "a[*", 3},
        {dir.path() + "*.txt", -1},       // the only match is a folder
        {dir.path() + "*.none", -1},
        {dir.path() + "nofolder/*.dat", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileSize64(c.path), c.expected) << c.path;
}

TEST(FileOps, DirectorySize)
{
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path() + "root/";
    makeDir(root);
    writeFile(root + "a.dat", std::string(10, 'a'));
    writeFile(root + "b.dat", std::string(20, 'b'));
    makeDir(root + "sub");
    writeFile(root + "sub/c.dat", std::string(5, 'c'));
    makeDir(root + "sub/deeper");
    writeFile(root + "sub/deeper/d.dat", std::string(7, 'd'));
    makeDir(root + ".cache");
    writeFile(root + ".cache/e.dat", std::string(100, 'e'));
    // A link back up must not make the recursion run in circles.
    ASSERT_EQ(::symlink("..", (root + "sub/up").c_str()), 0);
    makeDir(dir.path() + "empty");

    const struct {
        std::string path;
        bool recurse;
        int64_t expected;
    } cases[] = {
        {root, false, 30},
        {dir.path() + "root", false, 30},
        {root, true, 42},
        {root + "sub/", false, 5},
        {root + ".cache", false, 100},
        {dir.path() + "empty", true, 0},
        {dir.path() + "missing", true, 0},
        {root + "a.dat", false, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DirectorySize(c.path, c.recurse), c.expected) << c.path << " " << c.recurse;
}

TEST(FileOps, DirectorySizeCountsFilesOverFourGiBInFull)
{
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(makeSparseFile(dir.path() + "grid.img", threeGiB));
    writeFile(dir.path() + "grid.doc", "doc");
    EXPECT_EQ(DirectorySize(dir.path(), false), threeGiB + 3);
    EXPECT_EQ(DirectorySize(dir.path(), true), threeGiB + 3);
}

TEST(FileOps, DirectorySizeCountsLinkedFilesByTheirTarget)
{
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    writeFile(dir.path() + "real.dat", std::string(64, 'r'));
    makeDir(dir.path() + "view");
    ASSERT_EQ(::symlink((dir.path() + "real.dat").c_str(), (dir.path() + "view/linked.dat").c_str()), 0);
    EXPECT_EQ(DirectorySize(dir.path() + "view", false), 64);
}

// ---- Directories ----

TEST(FileOps, IsDirectory)
{
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    makeDir(dir.path() + "sub");
    writeFile(dir.path() + "file", "x");
    ASSERT_EQ(::symlink((dir.path() + "sub").c_str(), (dir.path() + "linked").c_str()), 0);

    const std::pair<std::string, bool> cases[] = {
        {dir.path(), true},           {dir.path() + "sub", true},  {dir.path() + "sub/", true},
        {dir.path() + "linked", true}, {dir.path() + "file", false}, {dir.path() + "missing", false},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(IsDirectory(path), expected) << path;
}

TEST(FileOps, ListSubdirectories)
{
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path() + "root/";
    makeDir(root);
    makeDir(root + "alpha");
    makeDir(root + "beta");
    makeDir(root + ".hidden");
    writeFile(root + "file.shp", "x");
    ASSERT_EQ(::symlink((root + "alpha").c_str(), (root + "linked").c_str()), 0);
    ASSERT_EQ(::symlink((root + "file.shp").c_str(), (root + "filelink").c_str()), 0);

    std::vector<std::string> found = ListSubdirectories(root);
    std::sort(found.begin(), found.end());
    const std::vector<std::string> expected{root + ".hidden", root + "alpha", root + "beta", root + "linked"};
    EXPECT_EQ(found, expected);

    makeDir(dir.path() + "empty");
    makeDir(dir.path() + "files");
    writeFile(dir.path() + "files/a.txt", "a");
    for (const std::string& path : {dir.path() + "empty/", dir.path() + "files/", dir.path() + "missing/"})
        EXPECT_TRUE(ListSubdirectories(path).empty()) << path;
}

// ---- Launching ----

// Replaces xdg-open by a script on PATH that records its arguments and
// working directory, and exits with a chosen status.
class LaunchFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_bin = m_dir.path() + "bin/";
        makeDir(m_bin);
        m_record = m_dir.path() + "record.txt";
        const char* oldPath = std::getenv("PATH");
        m_oldPath = oldPath ? oldPath : "";
        ::setenv("PATH", m_bin.c_str(), 1);
    }
    void TearDown() override { ::setenv("PATH", m_oldPath.c_str(), 1); }

    void installOpener(int exitStatus)
    {
        const std::string script = m_bin + "xdg-open";
        writeFile(script, "#!/bin/sh\n"
                          "printf '%s\\n' \"$@\" >> '" + m_record + "'\n"
                          "printf 'cwd=%s\\n' \"$(pwd)\" >> '" + m_record + "'\n"
                          "exit " + std::to_string(exitStatus) + "\n");
        ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
    }
    std::string dataFile(const std::string& name)
    {
        const std::string path = m_dir.path() + name;
        writeFile(path, "data");
        return path;
    }

    TempDir m_dir;
    std::string m_bin, m_record, m_oldPath;
};

TEST_F(LaunchFileTest, MissingFileIsReportedWithoutCallingTheOpener)
{
    installOpener(0);
    const std::string missing = m_dir.path() + "roads.shp";
    for (const std::string& path : {missing, m_dir.path()}) {
        try {
            LaunchFile(path);
            ADD_FAILURE() << "no error for " << path;
        } catch (const EInOutError& e) {
            EXPECT_EQ(std::string(e.what()), "File '" + path + "' not found.");
        }
    }
    EXPECT_FALSE(FileExists(m_record));
}

TEST_F(LaunchFileTest, HandsTheFileToTheOpener)
{
    installOpener(0);
    const std::string plain = dataFile("roads.shp");
    const std::string bytes = dataFile("r\xf6\xdf\xff.shp");   // not UTF-8
    const std::string workDir = m_dir.path() + "work";
    makeDir(workDir);

    const struct {
        std::string file, parameters, directory, expected;
    } cases[] = {
        {plain, "", "", plain + "\n"},
        {bytes, "", "", bytes + "\n"},
        {plain, "-x two words", "", plain + "\n-x two words\n"},
        {plain, "", workDir, plain + "\ncwd=" + workDir + "\n"},
    };
    for (const auto& c : cases) {
        ::unlink(m_record.c_str());
        EXPECT_TRUE(LaunchFile(c.file, c.parameters, c.directory));
        const std::string record = readFile(m_record);
        if (c.directory.empty()) {
            ASSERT_NE(record.rfind("\ncwd="), std::string::npos) << record;
            EXPECT_EQ(record.substr(0, record.rfind("cwd=")), c.expected);
        } else {
            EXPECT_EQ(record, c.expected);
        }
    }
}

TEST_F(LaunchFileTest, OpenerFailureGivesItsStatus)
{
    const std::string file = dataFile("roads.shp");
    const std::pair<int, std::string> cases[] = {
        {3, "Couldn't launch external application, error code:3"},
        {4, "Couldn't launch external application, error code:4"},
    };
    for (const auto& [status, message] : cases) {
        installOpener(status);
        try {
            LaunchFile(file);
            ADD_FAILURE() << "no error for status " << status;
        } catch (const EInOutError&) {
            ADD_FAILURE() << "the opener's failure is no file error";
        } catch (const Exception& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

TEST_F(LaunchFileTest, MissingOpenerGivesTheSystemError)
{
    const std::string file = dataFile("roads.shp");   // bin/ holds no xdg-open
    try {
        LaunchFile(file);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Couldn't launch external application, error code:" + std::to_string(ENOENT));
    }
}

} // namespace
