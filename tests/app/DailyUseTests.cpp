// Daily use: the window remembers its state per user and starts where the
// user left off or on the folder it is given; data sets leave the tree for
// other programs (drag, "Copy path", "Show in file manager"); the keyboard
// reaches the pop-up menu and its commands; opening files never waits on the
// window's thread.
#include <QCheckBox>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStandardPaths>
#include <QComboBox>
#include <QMimeData>
#include <QSettings>
#include <QDirIterator>
#include <QMenuBar>
#include <QProcessEnvironment>
#include <QSplitter>
#include <QSplitterHandle>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

#include "AppFixture.h"
#include "support/ScratchFolder.h"

namespace {

using testutil::makeDir;
using testutil::writeFile;

// A file name in Latin-1 (café.shp), as old servers hold them: not UTF-8.
const std::string kLatin1Name = "caf\xE9.shp";

QSettings userSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Atlasdesk"),
                     QStringLiteral("AtlasdeskView"));
}

class DailyUseTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        userSettings().clear(); // every case starts as a first run
        const std::string d = m_tree.path();
        makeDir(d + "sub");
        writeFile(d + "roads.shp", "shp");
        writeFile(d + "stations.dbf", "dbf");
        writeFile(d + kLatin1Name, "shp");
        writeFile(m_program / "z.xsl", kPlainStylesheet);
    }
    void TearDown() override
    {
        if (!m_oldPath.isNull())
            qputenv("PATH", m_oldPath);
        userSettings().clear();
        AppFixture::TearDown();
    }
    // Expands `node` and waits until its listing has arrived.
    void expand(const QModelIndex& node)
    {
        tree().expand(node);
        EXPECT_TRUE(QTest::qWaitFor([node] { return rowCount(node) > 0; }, 10000))
            << text(node).toStdString();
    }
    QModelIndex connectAndList()
    {
        window().ConnectToServer(m_tree.path());
        QModelIndex root = window().tvXMLTree->rootNode();
        if (root.isValid())
            expand(root);
        return root;
    }
    QModelIndex latin1Node(QModelIndex root)
    {
        for (int i = 0; i < rowCount(root); ++i)
            if (fileOf(childAt(root, i))->Name == kLatin1Name)
                return childAt(root, i);
        ADD_FAILURE() << "no node for the Latin-1 name";
        return {};
    }
    void select(std::initializer_list<QModelIndex> nodes)
    {
        window().tvXMLTree->clearSelection();
        for (const QModelIndex& n : nodes)
            window().tvXMLTree->addToSelection(n);
    }
    // Puts a fake desktop opener first on the PATH.
    void fakeOpener(const std::string& script)
    {
        writeFile(m_bin / "xdg-open", "#!/bin/sh\n" + script);
        std::filesystem::permissions(m_bin / "xdg-open", std::filesystem::perms::owner_all);
        m_oldPath = qgetenv("PATH");
        qputenv("PATH", QByteArray::fromStdString(m_bin.path()) + ":" + m_oldPath);
    }
    void showWindow()
    {
        window().resize(800, 600);
        window().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
    }

    testutil::TempDir m_bin;
    QByteArray m_oldPath;
};

QSplitter* splitterOf(QWidget* handle)
{
    return static_cast<QSplitterHandle*>(handle)->splitter();
}

// ---- Start where I left off ----------------------------------------------

TEST_F(DailyUseTest, SettingsWrittenByOneWindowComeBackInTheNext)
{
    QList<int> treeSplit;
    {
        TdlgAtlasdesk& w = window();
        w.setGeometry(40, 50, 720, 530);
        splitterOf(w.Splitter1)->setSizes({250, 470});
        treeSplit = splitterOf(w.Splitter1)->sizes();
        w.cbXslFormat->setCurrentIndex(w.cbXslFormat->findText("z.xsl"));
        w.PageControl1->setCurrentWidget(w.tabXML);
        w.ckVector->setChecked(false);
        w.ckTable->setChecked(true);
        w.ConnectToServer(m_tree.path());
        w.close();
    }
    EXPECT_TRUE(userSettings().fileName().startsWith(QDir::tempPath()))
        << "tests keep their settings away from the user's: " << userSettings().fileName().toStdString();
    EXPECT_TRUE(QFileInfo::exists(userSettings().fileName()));
    m_window.reset();

    TdlgAtlasdesk& w = window();
    EXPECT_EQ(w.cbXslFormat->currentText(), "plain.xsl") << "a new window starts as before";
    w.RestoreSettings();
    EXPECT_EQ(w.size(), QSize(720, 530));
    EXPECT_EQ(splitterOf(w.Splitter1)->sizes(), treeSplit);
    EXPECT_EQ(w.cbXslFormat->currentText(), "z.xsl");
    EXPECT_EQ(w.PageControl1->currentWidget(), w.tabXML);
    EXPECT_FALSE(w.ckVector->isChecked());
    EXPECT_TRUE(w.ckTable->isChecked());
    EXPECT_FALSE(w.ShownCategories.contains(catVector)) << "the filter follows the restored boxes";
    EXPECT_TRUE(w.ShownCategories.contains(catTable));
    EXPECT_FALSE(w.tvXMLTree->rootNode().isValid()) << "restoring connects nothing by itself";

    w.StartOn({});
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.tvXMLTree->rootNode().isValid(); }, 10000));
    EXPECT_EQ(w.ServerRoot, m_tree.path()) << "the last server is opened again";
    EXPECT_EQ(w.windowTitle().toStdString(), "Atlasdesk.View - " + m_tree.path());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(DailyUseTest, TheStartArgumentIsTheFirstArgumentThatIsNoOption)
{
    const struct {
        std::vector<const char*> argv;
        std::string folder;
    } cases[] = {
        {{"atlasdesk"}, ""},
        {{"atlasdesk", "/srv/geodata"}, "/srv/geodata"},
        {{"atlasdesk", "--verbose", "/srv/geodata", "/other"}, "/srv/geodata"},
        {{"atlasdesk", "/srv/caf\xE9/"}, "/srv/caf\xE9/"},
    };
    for (const auto& c : cases) {
        std::vector<char*> argv;
        for (const char* a : c.argv)
            argv.push_back(const_cast<char*>(a));
        EXPECT_EQ(TdlgAtlasdesk::StartFolder(static_cast<int>(argv.size()), argv.data()), c.folder)
            << c.argv.size() << " arguments";
    }
}

TEST_F(DailyUseTest, TheStartArgumentConnectsAtOnceEvenWhenAnotherServerWasLast)
{
    userSettings().setValue("server/last", QByteArray("/no/such/server/"));
    makeDir(m_work / "relative");
    const struct {
        std::string argument, root;
    } cases[] = {
        {m_tree.path(), m_tree.path()},
        {"relative", m_work / "relative"}, // against the current directory
    };
    for (const auto& c : cases) {
        m_window.reset();
        TdlgAtlasdesk& w = window();
        w.StartOn(c.argument);
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.tvXMLTree->rootNode().isValid(); }, 10000));
        EXPECT_EQ(w.ServerRoot, c.root) << c.argument;
        EXPECT_TRUE(w.StatusMessage().isEmpty()) << w.StatusMessage().toStdString();
    }
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(DailyUseTest, AServerOutOfReachAtStartLeavesAMessageAndAnEmptyTree)
{
    const std::string gone = m_work / "unplugged/";
    const struct {
        std::string argument, lastServer;
    } cases[] = {
        {gone, ""},  // named on the command line
        {"", gone},  // remembered from the last run
    };
    for (const auto& c : cases) {
        m_window.reset();
        userSettings().setValue("server/last", QByteArray::fromStdString(c.lastServer));
        TdlgAtlasdesk& w = window();
        w.StartOn(c.argument);
        waitForListings(); // the server is looked for off the window's thread
        EXPECT_EQ(w.storeTree()->rowCount(), 0);
        EXPECT_TRUE(w.StatusMessage().contains(QString::fromStdString(gone))) << w.StatusMessage().toStdString();
        EXPECT_TRUE(w.statusBar()->isVisibleTo(&w));
        w.ConnectToServer(m_tree.path());
        EXPECT_TRUE(w.StatusMessage().isEmpty()) << "connecting clears the message";
    }
    EXPECT_TRUE(m_errors.isEmpty()) << "never an error box at start: " << m_errors.join('\n').toStdString();
}

// ---- State that survives whatever ends the program -------------------------

// The settings as they stand in the file on disk (read from a copy, so that
// nothing this process holds in memory is seen).
std::unique_ptr<QSettings> settingsOnDisk(const QString& file, testutil::TempDir& scratch)
{
    const QString copy = QString::fromStdString(scratch / "copy.ini");
    QFile::remove(copy);
    if (!QFile::copy(file, copy))
        return std::make_unique<QSettings>(QString::fromStdString(scratch / "none.ini"), QSettings::IniFormat);
    return std::make_unique<QSettings>(copy, QSettings::IniFormat);
}

TEST_F(DailyUseTest, AChangeIsInTheSettingsFileASecondAfterItWithoutAClose)
{
    TdlgAtlasdesk& w = window();
    w.RestoreSettings();
    const QString file = userSettings().fileName();
    testutil::TempDir scratch;
    const struct {
        const char* what;
        std::function<void()> change;
        const char* key;
        QVariant expected;
    } cases[] = {
        {"a category box", [&] { w.ckTable->setChecked(true); }, "categories/ckTable", true},
        {"the page", [&] { w.PageControl1->setCurrentWidget(w.tabXML); }, "window/page", "tabXML"},
        {"the format", [&] { w.cbXslFormat->setCurrentIndex(w.cbXslFormat->findText("z.xsl")); }, "window/format", "z.xsl"},
        {"the server", [&] { w.ConnectToServer(m_tree.path()); }, "server/last", QByteArray::fromStdString(m_tree.path())},
    };
    for (const auto& c : cases) {
        QFile::remove(file);
        c.change();
        EXPECT_TRUE(w.settingsPending()) << c.what;
        EXPECT_NE(settingsOnDisk(file, scratch)->value(c.key), c.expected) << c.what << ": written at once, not a moment later";
        QTest::qWait(1000);
        EXPECT_EQ(settingsOnDisk(file, scratch)->value(c.key), c.expected) << c.what << ": not written a second after it";
        EXPECT_FALSE(w.settingsPending()) << c.what;
    }
}

TEST_F(DailyUseTest, AWindowThatHasNotReadItsMemoryDoesNotOverwriteIt)
{
    userSettings().setValue("window/format", "z.xsl");
    userSettings().sync();
    TdlgAtlasdesk& w = window();
    w.PageControl1->setCurrentWidget(w.tabXML);
    w.ckTable->setChecked(true);
    EXPECT_FALSE(w.settingsPending());
    QTest::qWait(700);
    EXPECT_EQ(userSettings().value("window/format").toString(), "z.xsl");
    EXPECT_FALSE(userSettings().contains("categories/ckTable"));
}

TEST_F(DailyUseTest, QuitClosesTheWindowAsItsCloseBoxDoes)
{
    showWindow();
    TdlgAtlasdesk& w = window();
    w.RestoreSettings();
    QAction* quit = action("mnuQuit");
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(quit->text(), "&Quit");
    const QKeySequence expected = QKeySequence(QKeySequence::Quit).isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Q)
                                                                          : QKeySequence(QKeySequence::Quit);
    EXPECT_EQ(quit->shortcut(), expected) << "the platform's key for Quit, else Ctrl+Q";
    EXPECT_TRUE(quit->isVisible()) << "the View edition shows it";
    auto* files = w.menuBar()->findChild<QMenu*>("Files1");
    ASSERT_NE(files, nullptr);
    EXPECT_TRUE(files->actions().contains(quit));

    w.ConnectToServer(m_tree.path());
    w.ckDocument->setChecked(true);
    QFile::remove(userSettings().fileName());
    w.activateWindow();
    QTest::keySequence(&w, expected);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.settingsPending());
    EXPECT_FALSE(w.tvXMLTree->rootNode().isValid()) << "closed as a close does: the tree is cleared";
    QSettings written(userSettings().fileName(), QSettings::IniFormat);
    EXPECT_EQ(written.value("server/last").toByteArray().toStdString(), m_tree.path());
    EXPECT_TRUE(written.value("categories/ckDocument").toBool());
}

// The program itself, as a child: SIGTERM ends it as a close does, a crash
// leaves a scratch folder that the next start removes (never the folder of a
// window still running), and what was changed before the crash is back.
TEST_F(DailyUseTest, TheProgramEndsOnSigtermAsOnACloseAndCleansUpAfterACrash)
{
    testutil::TempDir home;
    const QString config = QString::fromStdString(home / "config");
    const QString cache = QString::fromStdString(home / "cache");
    const QString file = config + "/Atlasdesk/AtlasdeskView.ini";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(home.path()));
    env.insert("XDG_CONFIG_HOME", config);
    env.insert("XDG_CACHE_HOME", cache);
    env.insert("XDG_DATA_HOME", QString::fromStdString(home / "data"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    auto start = [&](QProcess& program, const QStringList& arguments) {
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(ATLASDESK_PROGRAM, arguments);
        ASSERT_TRUE(program.waitForStarted(10000));
    };
    auto scratchFolders = [&] {
        QStringList found;
        QDirIterator it(cache, {"views-*"}, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next();
        return found;
    };
    testutil::TempDir scratch;
    auto lastServer = [&] { return settingsOnDisk(file, scratch)->value("server/last").toByteArray().toStdString(); };

    // Started on a folder: connecting is a change, written without a close.
    QProcess first;
    start(first, {QString::fromStdString(m_tree.path())});
    EXPECT_TRUE(QTest::qWaitFor([&] { return lastServer() == m_tree.path(); }, 30000)) << "the connected server";
    ASSERT_EQ(scratchFolders().size(), 1);
    const QString crashed = scratchFolders().front();
    first.kill(); // SIGKILL: nothing of the program runs any more
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_TRUE(QFileInfo::exists(crashed)) << "a crash leaves its scratch folder";

    // Started without a folder: the server of the crashed run comes back.
    // Connecting to it is a change the window writes (the file is replaced,
    // so it gets a new inode): then the window is up.
    const auto inode = [&] {
        struct stat st {};
        return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    const ino_t before = inode();
    QProcess second;
    start(second, {});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFileInfo::exists(crashed); }, 30000)) << "the crashed window's folder stays";
    EXPECT_TRUE(QTest::qWaitFor([&] { return scratchFolders().size() == 1; }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return inode() != before && inode() != 0; }, 30000)) << "the second run did not connect";
    EXPECT_EQ(lastServer(), m_tree.path());
    const QStringList running = scratchFolders();

    // SIGTERM: the state is written by the close, the exit code is 0.
    QFile::remove(file);
    second.terminate();
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(lastServer(), m_tree.path()) << "SIGTERM writes the state as a close does";
    for (const QString& folder : running)
        EXPECT_FALSE(QFileInfo::exists(folder)) << "a window that closes removes its own folder";
}

TEST_F(DailyUseTest, TheFolderOfAWindowStillRunningIsNeverRemoved)
{
    testutil::TempDir base;
    const QString folders = QString::fromStdString(base.path());
    ScratchFolder running(folders, "views");
    ASSERT_FALSE(running.path().isEmpty());
    EXPECT_TRUE(running.path().startsWith(folders));
    // One made by hand a moment ago, its lock not taken yet: left alone.
    ASSERT_TRUE(QDir(folders).mkdir("views-abcdef"));
    EXPECT_EQ(ScratchFolder::removeAbandoned(folders, "views"), 0);
    EXPECT_TRUE(QFileInfo::exists(running.path()));
    EXPECT_TRUE(QFileInfo::exists(folders + "/views-abcdef"));
}

// ---- The start page ---------------------------------------------------------

TEST_F(DailyUseTest, TheStartPageShowsTheServerItsCountsTheIndexAndTheKeys)
{
    TdlgAtlasdesk& w = window();
    w.PageControl1->setCurrentWidget(w.TabXSL);
    EXPECT_TRUE(pageAfter(w.wbXSL, [&] { w.OnTabXslShow(); }));
    QString text = pageText(w.wbXSL);
    EXPECT_TRUE(text.contains("No server is connected")) << text.toStdString();
    EXPECT_TRUE(text.contains("Connect to geodata server")) << "how to connect one";
    EXPECT_TRUE(text.contains("Ctrl+Q")) << "the keys";
    EXPECT_TRUE(text.contains("Ctrl+F"));

    // Connected, the root (without metadata) selected: the start page names
    // the server and follows its counts and its index, which is brought up
    // to date on connecting.
    const QModelIndex root = connectAndList();
    ASSERT_TRUE(root.isValid());
    const int items = w.storeTree()->nodeCount();
    ASSERT_GE(items, 5);
    // (Pages are waited for by what they say: a redraw for new counts may
    // still be loading when the next step starts.)
    const QString server = QString::fromStdString(m_tree.path());
    const auto shows = [](BrowserPane* pane, const QStringList& words) {
        return QTest::qWaitFor([&] {
            const QString page = pageText(pane);
            return std::all_of(words.begin(), words.end(), [&](const QString& w) { return page.contains(w); });
        }, 30000);
    };
    EXPECT_TRUE(shows(w.wbXSL, {server, QString("Items: %1 in the tree").arg(items), "Selected: 1"}))
        << pageText(w.wbXSL).toStdString();
    EXPECT_TRUE(shows(w.wbXSL, {"Indexed 3 data sets"})) << pageText(w.wbXSL).toStdString();
    w.tvXMLTree->clearSelection();
    EXPECT_TRUE(shows(w.wbXSL, {"Selected: 0"})) << "nothing selected: the start page too";

    // A data set's page replaces it, and stays when the selection is cleared.
    select({childAt(root, 1)});
    EXPECT_TRUE(shows(w.wbXSL, {"There is no metadata for"})) << pageText(w.wbXSL).toStdString();
    const QString dataSetPage = w.wbXSL->lastPath();
    EXPECT_FALSE(dataSetPage.isEmpty());
    w.tvXMLTree->clearSelection();
    QTest::qWait(300);
    ASSERT_TRUE(viewsSettled());
    EXPECT_EQ(w.wbXSL->lastPath(), dataSetPage) << "the data set's page stays";
    EXPECT_FALSE(pageText(w.wbXSL).contains("Items:"));

    // Connecting again brings it back, on the XML page too.
    w.ConnectToServer(m_tree.path());
    EXPECT_TRUE(shows(w.wbXSL, {server, "Selected: 1"})) << pageText(w.wbXSL).toStdString();
    EXPECT_EQ(w.wbXSL->lastPath(), "") << "a page of no file";
    w.PageControl1->setCurrentWidget(w.tabXML);
    EXPECT_TRUE(shows(w.wbXML, {server, "Items: 1 in the tree"})) << pageText(w.wbXML).toStdString();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

// ---- Hand data sets to other programs --------------------------------------

TEST_F(DailyUseTest, DraggedNodesLeaveAsFileUrlsOfTheirDataFiles)
{
    TdlgAtlasdesk& w = window();
    QModelIndex root = connectAndList();
    ASSERT_TRUE(root.isValid());
    QModelIndex latin1 = latin1Node(root);
    QModelIndex sub = child(root, "sub");
    ASSERT_TRUE(latin1.isValid() && sub.isValid());
    EXPECT_TRUE(w.tvXMLTree->dragEnabled());
    EXPECT_TRUE(latin1.flags() & Qt::ItemIsDragEnabled);

    select({latin1, sub});
    std::unique_ptr<QMimeData> data(w.tvXMLTree->dragData(w.tvXMLTree->selectionOrder()));
    ASSERT_NE(data, nullptr);
    const QByteArray dir = QByteArray::fromStdString(m_tree.path()).toPercentEncoding("/");
    EXPECT_EQ(data->data("text/uri-list"), "file://" + dir + "caf%E9.shp\r\nfile://" + dir + "sub/\r\n")
        << "the Latin-1 byte stays one percent-encoded byte";
    EXPECT_EQ(data->data("text/plain").toStdString(), m_tree / kLatin1Name + "\n" + m_tree / "sub/\n");
    const QList<QUrl> urls = data->urls();
    ASSERT_EQ(urls.size(), 2);
    EXPECT_EQ(QByteArray::fromPercentEncoding(urls[0].toEncoded(QUrl::RemoveScheme)).toStdString(),
              "//" + m_tree / kLatin1Name)
        << "the URL names the very bytes of the file";
}

TEST_F(DailyUseTest, CopyPathPutsTheSelectedPathsOnTheClipboardOneALine)
{
    QModelIndex root = connectAndList();
    ASSERT_TRUE(root.isValid());
    select({child(root, "roads.shp"), latin1Node(root)});
    QApplication::clipboard()->clear();
    action("mnuCopyPath")->trigger();
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->data("text/plain").toStdString(), m_tree / "roads.shp\n" + m_tree / kLatin1Name + "\n");
    EXPECT_TRUE(data->data("text/uri-list").endsWith("caf%E9.shp\r\n"));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(DailyUseTest, ShowInFileManagerOpensTheContainingFolderWithoutTheService)
{
    // No file manager answers on the bus here: the folder goes to the
    // desktop's opener, as bytes.
    fakeOpener("printf '%s\\n' \"$@\" >> '" + m_bin / "opened.txt" + "'\n");
    const std::string latin1Folder = m_tree / "d\xE9p/";
    makeDir(latin1Folder);
    writeFile(latin1Folder + "x.shp", "shp");
    QModelIndex root = connectAndList();
    ASSERT_TRUE(root.isValid());
    QModelIndex folder;
    for (int i = 0; i < rowCount(root); ++i)
        if (fileOf(childAt(root, i))->DataPath() == latin1Folder)
            folder = childAt(root, i);
    ASSERT_TRUE(folder.isValid());
    expand(folder);
    select({latin1Node(root), child(root, "roads.shp"), childAt(folder, 0)});
    action("mnuShowInFileManager")->trigger();
    // The two openers run side by side: their lines may come in either order.
    const auto openedFolders = [this] {
        QList<QByteArray> lines = QByteArray::fromStdString(testutil::readFile(m_bin / "opened.txt")).split('\n');
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    QList<QByteArray> expected{"", QByteArray::fromStdString(m_tree.path()), QByteArray::fromStdString(latin1Folder)};
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(QTest::qWaitFor([&] { return openedFolders() == expected; }, 10000))
        << "each containing folder once, its bytes unchanged: " << testutil::readFile(m_bin / "opened.txt");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

// A file manager on a bus of the test's own: records what ShowItems asks.
class FakeFileManager : public QDBusVirtualObject {
public:
    QStringList shownItems;
    QString interfaceAsked;

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != QLatin1String("ShowItems"))
            return false;
        interfaceAsked = message.interface();
        shownItems = message.arguments().value(0).toStringList();
        connection.send(message.createReply());
        return true;
    }
    QString introspect(const QString&) const override { return {}; }
};

TEST_F(DailyUseTest, ShowInFileManagerAsksTheFileManagerToSelectTheItems)
{
    const QString daemonProgram = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemonProgram.isEmpty()) {
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            FAIL() << "dbus-daemon is missing (scripts/install-deps.sh installs it)";
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    QProcess daemon;
    daemon.start(daemonProgram, {"--session", "--nofork", "--nopidfile", "--print-address"});
    ASSERT_TRUE(daemon.waitForStarted(10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return daemon.canReadLine(); }, 10000)) << "no bus address";
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    struct Stop {
        QProcess& p;
        ~Stop()
        {
            QDBusConnection::disconnectFromBus(QStringLiteral("fake-file-manager"));
            QDBusConnection::disconnectFromBus(QStringLiteral("atlasdesk-file-manager"));
            p.terminate();
            p.waitForFinished(5000);
        }
    } stop{daemon};
    QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("fake-file-manager"));
    ASSERT_TRUE(service.isConnected());
    FakeFileManager fileManager;
    ASSERT_TRUE(service.registerVirtualObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    fakeOpener("printf '%s\\n' \"$@\" >> '" + m_bin / "opened.txt" + "'\n");

    TdlgAtlasdesk& w = window();
    w.fileManagerBus = address;
    QModelIndex root = connectAndList();
    ASSERT_TRUE(root.isValid());
    select({latin1Node(root), child(root, "sub")});
    action("mnuShowInFileManager")->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !fileManager.shownItems.isEmpty(); }, 10000));
    const QString dir = QString::fromLatin1(QByteArray::fromStdString(m_tree.path()).toPercentEncoding("/"));
    EXPECT_EQ(fileManager.shownItems, (QStringList{"file://" + dir + "caf%E9.shp", "file://" + dir + "sub"}))
        << "the items themselves, to be selected in their folder, the Latin-1 byte kept";
    EXPECT_EQ(fileManager.interfaceAsked, "org.freedesktop.FileManager1");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_FALSE(testutil::exists(m_bin / "opened.txt")) << "no folder is opened besides";
}

// ---- Keyboard -----------------------------------------------------------

TEST_F(DailyUseTest, MenuKeyAndShiftF10OpenThePopupAtTheCurrentNode)
{
    TdlgAtlasdesk& w = window();
    showWindow();
    QModelIndex root = connectAndList();
    ASSERT_TRUE(root.isValid());
    QModelIndex roads = child(root, "roads.shp");
    w.tvXMLTree->setCurrentIndex(roads);
    const QRect row(w.tvXMLTree->viewport()->mapToGlobal(w.tvXMLTree->visualRect(roads).topLeft()),
                    w.tvXMLTree->visualRect(roads).size());
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } keys[] = {{Qt::Key_Menu, Qt::NoModifier}, {Qt::Key_F10, Qt::ShiftModifier}};
    for (const auto& k : keys) {
        QTest::keyClick(w.tvXMLTree, k.key, k.modifiers);
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.popXMLTree->isVisible(); }, 5000)) << k.key;
        const QPoint at = w.popXMLTree->pos();
        EXPECT_TRUE(at.y() >= row.top() && at.y() <= row.bottom() + 1)
            << "pop-up at y " << at.y() << ", row " << row.top() << ".." << row.bottom();
        w.popXMLTree->close();
    }
    EXPECT_EQ(w.tvXMLTree->currentIndex(), roads);
}

TEST_F(DailyUseTest, EveryPopupCommandShowsAShortcutOfItsOwn)
{
    TdlgAtlasdesk& w = window();
    QSet<QKeySequence> seen;
    for (QAction* a : w.popXMLTree->actions()) {
        if (!a->isVisible() || a->isSeparator())
            continue;
        EXPECT_FALSE(a->shortcut().isEmpty()) << a->text().toStdString();
        EXPECT_FALSE(seen.contains(a->shortcut())) << a->text().toStdString();
        seen.insert(a->shortcut());
    }
    EXPECT_EQ(seen.size(), 8);
}

TEST_F(DailyUseTest, EnterOpensTheCurrentDataSetAndTogglesADirectory)
{
    TdlgAtlasdesk& w = window();
    QModelIndex root = connectAndList();
    ASSERT_TRUE(root.isValid());
    QModelIndex roads = child(root, "roads.shp");
    select({roads});
    w.tvXMLTree->setCurrentIndex(roads);
    QTest::keyClick(w.tvXMLTree, Qt::Key_Return);
    EXPECT_EQ(m_launched, std::vector<std::string>{m_tree / "roads.shp"});

    QModelIndex sub = child(root, "sub");
    w.tvXMLTree->setCurrentIndex(sub);
    QTest::keyClick(w.tvXMLTree, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(isExpanded(sub));
    EXPECT_EQ(m_launched.size(), 1u) << "a directory is not opened";
}

TEST_F(DailyUseTest, TabGoesFromTheTreeThroughTheCategoryBoxesToThePages)
{
    TdlgAtlasdesk& w = window();
    showWindow();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.tvXMLTree->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.tvXMLTree->hasFocus(); }, 5000));
    QList<QWidget*> order;
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget();
    }
    const QList<QWidget*> boxes{w.ckVector, w.ckRaster, w.ckGIS, w.ckTable, w.ckDocument, w.ckExecutable};
    EXPECT_EQ(order.mid(0, 6), boxes);
    EXPECT_TRUE(order[6] == w.PageControl1 || w.PageControl1->isAncestorOf(order[6]))
        << (order[6] ? order[6]->metaObject()->className() : "none");
}

// ---- Opening files never blocks -----------------------------------------

TEST_F(DailyUseTest, AnOpenerThatStaysRunningDoesNotHoldTheWindow)
{
    // The opener starts, then waits for the test's word before it fails:
    // the command must come back while the opener is still running, and
    // its failure must be reported when it comes.
    const std::string started = m_bin / "started";
    const std::string release = m_bin / "release";
    fakeOpener("touch '" + started + "'\nwhile [ ! -f '" + release + "' ]; do sleep 0.05; done\nexit 3\n");
    TdlgAtlasdesk& w = window();
    w.launchFile = [&w](const std::string& path) { w.OpenWithDesktop(path); };
    QModelIndex root = connectAndList();
    ASSERT_TRUE(root.isValid());
    select({child(root, "roads.shp")});

    w.OnMnuOpenFilesClick();
    EXPECT_FALSE(testutil::exists(release)) << "the command returned while the opener runs";
    EXPECT_TRUE(QTest::qWaitFor([&] { return testutil::exists(started); }, 10000));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    writeFile(release, "");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_errors.isEmpty(); }, 10000));
    EXPECT_EQ(m_errors, QStringList{"Couldn't launch external application, error code:3."});

    // A missing file is still reported at once, before any opener runs.
    m_errors.clear();
    std::filesystem::remove(m_tree / "roads.shp");
    w.OnMnuOpenFilesClick();
    EXPECT_EQ(m_errors, QStringList{QString::fromStdString("File '" + m_tree / "roads.shp" + "' not found.")});
}

TEST_F(DailyUseTest, AnOpenerThatSucceedsReportsNothing)
{
    const std::string done = m_bin / "done";
    // Written aside and moved in place: the file appears with its whole text.
    fakeOpener("printf '%s' \"$1\" > '" + done + ".part' && mv '" + done + ".part' '" + done + "'\nexit 0\n");
    TdlgAtlasdesk& w = window();
    w.launchFile = [&w](const std::string& path) { w.OpenWithDesktop(path); };
    QModelIndex root = connectAndList();
    ASSERT_TRUE(root.isValid());
    select({latin1Node(root)});
    w.OnMnuOpenFilesClick();
    EXPECT_TRUE(QTest::qWaitFor([&] { return testutil::exists(done); }, 10000));
    EXPECT_EQ(testutil::readFile(done), m_tree / kLatin1Name) << "the opener gets the name's bytes";
    // The watch on the opener goes once the window has seen its end.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.findChild<QObject*>("openerWatch"); }, 10000));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

} // namespace
