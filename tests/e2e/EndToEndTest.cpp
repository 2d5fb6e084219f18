// A user's main path through the program in a real window (X server,
// real web views): connect to the demo server from the menu, add a server
// with the folder picker, expand and filter the tree, select data sets, read
// the three metadata pages, change the stylesheet, open a file, close.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdio>
#include <filesystem>

#include "model/AtlasdeskOps.h"
#include "app/BrowserPane.h"
#include "app/CommandGuard.h"
#include "app/MetadataViews.h"
#include "app/ServerTree.h"
#include "TestUtil.h"
#include "TreeTestSupport.h"
#include "model/XMLFile.h"
#include "xml/XMLOps.h"
#include "app/dlgAtlasdeskU.h"
#include "catalogue/dmAtlasdeskU.h"

namespace fs = std::filesystem;

namespace {

const std::string kSource = ATLASDESK_SOURCE_DIR;
const std::string kDemo = kSource + "/data/demo-server";

QString pageText(BrowserPane* pane)
{
    QString text;
    bool done = false;
    pane->view()->page()->toPlainText([&](const QString& t) {
        text = t;
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000)) << "no page text";
    return text;
}

// Waits until `pane` has shown a page (after `action`) and returns its text.
QString renderedText(BrowserPane* pane, const std::function<void()>& action)
{
    bool rendered = false;
    const auto c = QObject::connect(pane, &BrowserPane::rendered, [&](bool) { rendered = true; });
    action();
    EXPECT_TRUE(QTest::qWaitFor([&] { return rendered; }, 20000))
        << pane->objectName().toStdString() << " did not render";
    QObject::disconnect(c);
    return pageText(pane);
}

using treetest::childNamed;
using treetest::fileOf;

void clickNode(ServerTree* tree, const QModelIndex& node, Qt::KeyboardModifiers keys = {})
{
    tree->scrollTo(node);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, keys, tree->visualRect(node).center());
}

void expandByKeyboard(ServerTree* tree, const QModelIndex& node)
{
    clickNode(tree, node);
    QTest::keyClick(tree, Qt::Key_Right);
    EXPECT_TRUE(tree->isExpanded(node)) << treetest::text(node).toStdString();
    // The listing comes from another thread: wait for its children.
    auto* window = qobject_cast<TdlgAtlasdesk*>(tree->window());
    EXPECT_TRUE(QTest::qWaitFor([window] { return !window->listingBusy(); }, 30000));
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The program's folder as the build lays it out: configuration and
        // stylesheets beside the executable, the demo server registered.
        fs::copy_file(kSource + "/data/AtlasdeskView.ini.xml", m_program / "AtlasdeskView.ini.xml");
        for (const auto& entry : fs::directory_iterator(kSource + "/data"))
            if (entry.path().extension() == ".xsl")
                fs::copy_file(entry.path(), m_program.path() + entry.path().filename().string());
        SetProgramFolder(m_program.path());
        m_cwd = std::make_unique<testutil::ChangeDir>(m_work.path());
        AppendServer(kDemo);
        m_configBefore = tXMLDocument(m_program / "AtlasdeskView.ini.xml")
                             .GetNodeTexts("atlasdesk/directories/servers/path");

        // The desktop's opener, replaced by a script that records its call.
        testutil::writeFile(m_bin / "xdg-open",
                            "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + m_bin.path() + "opened.txt'\n");
        fs::permissions(m_bin / "xdg-open", fs::perms::owner_all);
        m_oldPath = qgetenv("PATH");
        qputenv("PATH", QByteArray::fromStdString(m_bin.path()) + ":" + m_oldPath);
        setErrorBoxHook([this](const QString& text) { m_errors << text; });
    }
    void TearDown() override
    {
        setErrorBoxHook({});
        qputenv("PATH", m_oldPath);
        m_cwd.reset();
        ClearConfiguration();
        SetProgramFolder({});
    }

    testutil::TempDir m_program, m_work, m_bin, m_newServer;
    std::unique_ptr<testutil::ChangeDir> m_cwd;
    tVectorOfString m_configBefore;
    QByteArray m_oldPath;
    QStringList m_errors;
};

TEST_F(EndToEnd, AUsersMainPath)
{
    TdmAtlasdesk dataModule;
    auto window = std::make_unique<TdlgAtlasdesk>(&dataModule);
    TdlgAtlasdesk& w = *window;
    w.resize(1100, 800);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.PageControl1->isTabVisible(0); }, 5000))
        << "the Form tab goes at activation";
    EXPECT_EQ(w.windowTitle(), "Atlasdesk.View");
    ASSERT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    const WId nativeWindow = w.winId();

    // Started as `AtlasdeskView <demo server>`: the server is open at once.
    std::string program = "AtlasdeskView", folder = kDemo;
    char* argv[] = {program.data(), folder.data()};
    w.StartOn(TdlgAtlasdesk::StartFolder(2, argv));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.tvXMLTree->rootNode().isValid(); }, 20000))
        << "the demo server is open after start";
    EXPECT_EQ(w.windowTitle().toStdString(), "Atlasdesk.View - " + kDemo);
    EXPECT_EQ(w.ServerRoot, kDemo);

    // Files > Connect to geodata server > the demo server.
    QAction* demoEntry = nullptr;
    for (QAction* a : w.mnuConnectToXML->actions())
        if (a->text().toStdString() == kDemo)
            demoEntry = a;
    ASSERT_NE(demoEntry, nullptr);
    demoEntry->trigger();
    EXPECT_EQ(w.windowTitle().toStdString(), "Atlasdesk.View - " + kDemo);
    QModelIndex root = w.tvXMLTree->rootNode();
    ASSERT_TRUE(root.isValid());
    EXPECT_EQ(treetest::text(root), "demo-server");

    // Expand by keyboard down to a source folder.
    expandByKeyboard(w.tvXMLTree, root);
    QModelIndex world = childNamed(root, "10_world");
    expandByKeyboard(w.tvXMLTree, world);
    QModelIndex france = childNamed(world, "21_france");
    expandByKeyboard(w.tvXMLTree, france);
    QModelIndex bretagne = childNamed(france, "31_bretagne");
    expandByKeyboard(w.tvXMLTree, bretagne);
    QModelIndex transport = childNamed(bretagne, "transport");
    expandByKeyboard(w.tvXMLTree, transport);
    QModelIndex ign = childNamed(transport, "ign");
    expandByKeyboard(w.tvXMLTree, ign);
    QModelIndex routes = childNamed(ign, "routes.shp");
    QModelIndex counts = childNamed(ign, "comptages.dbf");
    ASSERT_TRUE(routes.isValid() && counts.isValid());

    // Tables are greyed at start: a click does not select one.
    clickNode(w.tvXMLTree, counts);
    EXPECT_FALSE(w.tvXMLTree->isSelected(counts));
    QTest::mouseClick(w.ckTable, Qt::LeftButton, {}, QPoint(8, w.ckTable->height() / 2));
    EXPECT_TRUE(w.ckTable->isChecked());
    clickNode(w.tvXMLTree, counts);
    EXPECT_TRUE(w.tvXMLTree->isSelected(counts)) << "shown once its category is checked";

    // Metadata page: the data set rendered through the first stylesheet.
    w.PageControl1->setCurrentWidget(w.TabXSL);
    const QString rendered = renderedText(w.wbXSL, [&] { clickNode(w.tvXMLTree, routes); });
    EXPECT_TRUE(rendered.contains(QString::fromUtf8("Réseau routier"))) << rendered.left(400).toStdString();
    EXPECT_EQ(w.stSelected->text(), "Selected: 1");

    // Another stylesheet.
    const int summary = w.cbXslFormat->findText("Atlasdesk Summary.xsl");
    ASSERT_GE(summary, 0);
    const QString summaryText =
        renderedText(w.wbXSL, [&] { w.cbXslFormat->setCurrentIndex(summary); });
    EXPECT_TRUE(summaryText.contains(QString::fromUtf8("Réseau routier")));
    EXPECT_NE(summaryText, rendered);

    // XML page: the raw document, read in its own encoding.
    QTabBar* tabs = w.PageControl1->tabBar();
    const QString xml = renderedText(w.wbXML, [&] {
        QTest::mouseClick(tabs, Qt::LeftButton, {},
                          tabs->tabRect(w.PageControl1->indexOf(w.tabXML)).center());
    });
    EXPECT_EQ(w.PageControl1->currentWidget(), w.tabXML);
    EXPECT_TRUE(xml.contains("metadata")) << xml.left(300).toStdString();
    EXPECT_TRUE(xml.contains(QString::fromUtf8("départemental")));

    // Thumbnail page.
    QTest::mouseClick(tabs, Qt::LeftButton, {},
                      tabs->tabRect(w.PageControl1->indexOf(w.tabThumbnail)).center());
    EXPECT_EQ(w.PageControl1->currentWidget(), w.tabThumbnail);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.views()->busy(); }, 60000)) << "the page is read on a worker";
    EXPECT_FALSE(w.imgThumbnail->pixmap().isNull());
    EXPECT_EQ(w.edThbFilename->text().toStdString(), fileOf(ign)->DataPath() + "routes.shp");

    // Open the data set in its own program.
    w.OntvXMLTreePopup(w.tvXMLTree->mapToGlobal(w.tvXMLTree->visualRect(routes).center()));
    ASSERT_TRUE(w.popXMLTree->isVisible());
    w.popXMLTree->close();
    w.tvXMLTree->setFocus();
    QTest::keyClick(w.tvXMLTree, Qt::Key_Menu);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.popXMLTree->isVisible(); }, 5000)) << "the Menu key";
    w.popXMLTree->close();
    EXPECT_EQ(w.winId(), nativeWindow) << "the window was shown once, its native window never made anew";
    w.mnuOpenFiles->trigger();
    // The opener runs on its own; the window does not wait for it.
    const std::string opened = fileOf(ign)->DataPath() + "routes.shp\n";
    EXPECT_TRUE(QTest::qWaitFor([&] { return testutil::readFile(m_bin / "opened.txt") == opened; }, 10000))
        << "the opener was given: " << testutil::readFile(m_bin / "opened.txt");

    // Files > Connect to geodata server > New server..., confirmed in the picker.
    QTimer::singleShot(0, [this] {
        EXPECT_TRUE(QTest::qWaitFor(
            [] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; },
            10000));
        auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(picker, nullptr);
        const fs::path folder = fs::path(m_newServer.path()).parent_path();
        picker->setDirectory(QString::fromStdString(folder.parent_path().string()));
        picker->selectFile(QString::fromStdString(folder.filename().string()));
        QMetaObject::invokeMethod(picker, "accept", Qt::QueuedConnection);
    });
    w.mnuNewServer->trigger();
    const std::string picked = fs::path(m_newServer.path()).parent_path().string();
    EXPECT_EQ(w.ServerRoot, picked);
    EXPECT_EQ(w.windowTitle().toStdString(), "Atlasdesk.View - " + picked);
    EXPECT_EQ(w.mnuConnectToXML->actions().last()->text().toStdString(), picked);

    w.close();
    window.reset();
    tVectorOfString expected = m_configBefore;
    expected.push_back(picked);
    EXPECT_EQ(tXMLDocument(m_program / "AtlasdeskView.ini.xml")
                  .GetNodeTexts("atlasdesk/directories/servers/path"),
              expected)
        << "the configuration gains exactly the new server";
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

} // namespace

// ---- State that survives a crash ------------------------------------------
//
// The test program runs itself as a child with `--state-child MODE SETTINGS
// PROGRAM [FOLDER]`: "change" opens the window, changes its state and waits
// to be killed; "report" opens a window as the program does at start and
// prints the state it finds.

int runStateChild(int argc, char** argv)
{
    if (argc < 5 || std::string(argv[1]) != "--state-child")
        return -1;
    const std::string mode = argv[2];
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromLocal8Bit(argv[3]));
    SetProgramFolder(argv[4]);
    TdmAtlasdesk dataModule;
    TdlgAtlasdesk w(&dataModule);
    w.RestoreSettings();
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 2;
    if (mode == "change" && argc > 5) {
        w.ckTable->setChecked(true);
        w.ckVector->setChecked(false);
        w.PageControl1->setCurrentWidget(w.tabXML);
        w.cbXslFormat->setCurrentIndex(w.cbXslFormat->count() - 1);
        w.ConnectToServer(argv[5]);
        std::printf("changed format=%s\n", w.cbXslFormat->currentText().toUtf8().constData());
        std::fflush(stdout);
        return QApplication::exec(); // until it is killed
    }
    if (mode == "report") {
        w.StartOn({});
        if (!QTest::qWaitFor([&] { return w.tvXMLTree->rootNode().isValid(); }, 20000)) {
            std::fprintf(stderr, "the server's tree did not come up\n");
            return 4;
        }
        std::printf("server=%s page=%s format=%s table=%d vector=%d\n", w.ServerRoot.c_str(),
                    w.PageControl1->currentWidget()->objectName().toUtf8().constData(),
                    w.cbXslFormat->currentText().toUtf8().constData(), int(w.ckTable->isChecked()),
                    int(w.ckVector->isChecked()));
        std::fflush(stdout);
        return 0;
    }
    return 3;
}

TEST_F(EndToEnd, StateChangedThreeSecondsBeforeAKillIsBackAtTheNextStart)
{
    testutil::TempDir settings;
    auto run = [&](QProcess& child, const QStringList& arguments) {
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    QStringList{"--state-child"} + arguments.mid(0, 1)
                        + QStringList{QString::fromStdString(settings.path()), QString::fromStdString(m_program.path())}
                        + arguments.mid(1));
        EXPECT_TRUE(child.waitForStarted(10000));
    };
    QProcess changer;
    run(changer, {"change", QString::fromStdString(kDemo)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return changer.canReadLine(); }, 60000)) << "the first run did not start";
    const QString changed = QString::fromUtf8(changer.readLine()).trimmed();
    ASSERT_TRUE(changed.startsWith("changed format=")) << changed.toStdString();
    const QString format = changed.mid(QStringLiteral("changed format=").size());
    QTest::qWait(3000);
    changer.kill(); // SIGKILL: no close, no handler
    ASSERT_TRUE(changer.waitForFinished(10000));
    EXPECT_EQ(changer.exitStatus(), QProcess::CrashExit);

    QProcess reporter;
    run(reporter, {"report"});
    ASSERT_TRUE(reporter.waitForFinished(60000));
    EXPECT_EQ(reporter.exitCode(), 0);
    const QString report = QString::fromUtf8(reporter.readAllStandardOutput()).trimmed();
    EXPECT_EQ(report.toStdString(), "server=" + kDemo + " page=tabXML format=" + format.toStdString() + " table=1 vector=0");
}
