#pragma once
// A main window started on a program folder and a server tree of temporary
// directories, with error boxes captured instead of shown.
#include <gtest/gtest.h>

#include <QAction>
#include <QEventLoop>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "model/AtlasdeskOps.h"
#include "app/BrowserPane.h"
#include "app/CommandGuard.h"
#include "app/MetadataViews.h"
#include "support/PathOps.h"
#include "app/ServerTree.h"
#include "TestUtil.h"
#include "TreeTestSupport.h"
#include "model/XMLFile.h"
#include "app/dlgAtlasdeskU.h"
#include "catalogue/dmAtlasdeskU.h"

using treetest::childTexts;
using treetest::fileOf;
using treetest::isListed;
using treetest::text;

inline const char* kTestConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<atlasdesk>
  <MetadataDOM>
    <ProdName><XML_Path>idinfo/citation/citeinfo/title</XML_Path></ProdName>
    <Thumbnail><XML_Path>idinfo/browse/browsen</XML_Path></Thumbnail>
    <EsriThumbnail><XML_Path>Binary/Thumbnail/Data</XML_Path></EsriThumbnail>
    <Ignore><XML_Path>metadata/metainfo/atlasdesk/ignore</XML_Path></Ignore>
  </MetadataDOM>
  <filetypes>
    <vector><ext>shp</ext></vector>
    <raster><ext>tif</ext><ext>aux</ext></raster>
    <gis><ext>mxd</ext></gis>
    <table><ext>dbf</ext></table>
    <document><ext>pdf</ext></document>
    <executable><ext>py</ext></executable>
  </filetypes>
  <directories><servers><path>/srv/b</path><path>/srv/A</path></servers></directories>
</atlasdesk>
)";

class AppFixture : public ::testing::Test {
protected:
    static constexpr int kPageTimeoutMs = 120000;

    void SetUp() override
    {
        SetProgramFolder(m_program.path());
        testutil::writeFile(m_program / "AtlasdeskView.ini.xml", kTestConfig);
        testutil::writeFile(m_program / "plain.xsl", kPlainStylesheet);
        m_cwd = std::make_unique<testutil::ChangeDir>(m_work.path());
        setErrorBoxHook([this](const QString& text) { m_errors << text; });
    }
    void TearDown() override
    {
        m_window.reset();
        m_dataModule.reset();
        setErrorBoxHook({});
        m_cwd.reset();
        ClearConfiguration();
        SetProgramFolder({});
    }
    TdlgAtlasdesk& window()
    {
        if (!m_window) {
            m_dataModule = std::make_unique<TdmAtlasdesk>();
            m_window = std::make_unique<TdlgAtlasdesk>(m_dataModule.get());
            m_window->launchFile = [this](const std::string& path) {
                if (!testutil::exists(path))
                    throw EInOutError("File '" + path + "' not found.");
                m_launched.push_back(path);
            };
        }
        return *m_window;
    }
    QAction* action(const char* name)
    {
        auto* a = window().findChild<QAction*>(QLatin1String(name));
        EXPECT_NE(a, nullptr) << name;
        return a;
    }
    // The tree, read through its model and view.
    ServerTree& tree() { return *window().tvXMLTree; }
    static QModelIndex child(const QModelIndex& parent, const QString& name) { return treetest::childNamed(parent, name); }
    static QModelIndex childAt(const QModelIndex& parent, int row) { return parent.model()->index(row, 0, parent); }
    static int rowCount(const QModelIndex& node) { return node.model() ? node.model()->rowCount(node) : 0; }
    static bool hasChildren(const QModelIndex& node) { return node.model()->hasChildren(node); }
    // These ask the fixture's window: a node of another window's tree is a mistake.
    ServerTree& viewOf(const QModelIndex& node)
    {
        EXPECT_EQ(node.model(), tree().model()) << "a node of another tree";
        return tree();
    }
    void expand(const QModelIndex& node) { viewOf(node).expand(node); }
    void collapse(const QModelIndex& node) { viewOf(node).collapse(node); }
    bool isExpanded(const QModelIndex& node) { return viewOf(node).isExpanded(node); }
    bool isSelected(const QModelIndex& node) { return viewOf(node).isSelected(node); }
    QModelIndex connectAndExpand()
    {
        window().ConnectToServer(m_tree.path());
        QModelIndex root = window().tvXMLTree->rootNode();
        expand(root);
        waitForListings();
        return root;
    }
    // Waits until the metadata pages have shown their answers to the newest
    // requests (they are read and rendered on a worker); false on time-out.
    bool viewsSettled()
    {
        TdlgAtlasdesk& w = window();
        const bool settled = QTest::qWaitFor([&w] { return !w.views()->busy(); }, 60000);
        EXPECT_TRUE(settled) << "the metadata pages did not answer within a minute";
        return settled;
    }
    // Runs `trigger`, then waits for `pane`'s next page; the value of its
    // rendered signal (false also when no page came).
    static bool pageAfter(BrowserPane* pane, const std::function<void()>& trigger)
    {
        QSignalSpy spy(pane, &BrowserPane::rendered);
        trigger();
        if (spy.isEmpty() && !spy.wait(kPageTimeoutMs)) {
            ADD_FAILURE() << "no page came";
            return false;
        }
        return spy.takeFirst().at(0).toBool();
    }

    static QString pageText(BrowserPane* pane)
    {
        QString text;
        bool done = false;
        QEventLoop loop;
        pane->view()->page()->toPlainText([&](const QString& result) {
            text = result;
            done = true;
            loop.quit();
        });
        QTimer::singleShot(kPageTimeoutMs, &loop, &QEventLoop::quit);
        if (!done)
            loop.exec();
        EXPECT_TRUE(done) << "no page text";
        return text;
    }

    // Data sets `names` below the tree's `folder`, each with metadata
    // titled with its name; connects to the tree, expands the folder and
    // selects them in that order.
    void selectNewDataSets(const std::string& folder, const std::vector<std::string>& names)
    {
        for (const std::string& name : names) {
            testutil::writeFile(m_tree / (folder + "/" + name), "shp");
            testutil::writeFile(m_tree / (folder + "/" + name + ".xml"),
                                "<metadata><idinfo><citation><citeinfo><title>" + name +
                                    "</title></citeinfo></citation></idinfo></metadata>");
        }
        QModelIndex node = child(connectAndExpand(), QString::fromStdString(folder));
        ASSERT_TRUE(node.isValid());
        expand(node);
        waitForListings();
        window().tvXMLTree->clearSelection();
        for (const std::string& name : names)
            window().tvXMLTree->addToSelection(child(node, QString::fromStdString(name)));
        ASSERT_EQ(window().tvXMLTree->selectionCount(), static_cast<int>(names.size()));
    }

    // Waits until the window's catalogue command (which runs on a worker)
    // has ended and shown its end; true at once when none runs.
    bool waitForCatalogueTask()
    {
        if (!window().isCatalogueTaskRunning())
            return true;
        QSignalSpy done(&window(), &TdlgAtlasdesk::catalogueTaskFinished);
        if (done.wait(kCatalogueTimeoutMs))
            return true;
        ADD_FAILURE() << "the catalogue command did not end within " << kCatalogueTimeoutMs << " ms";
        return false;
    }
    static constexpr int kCatalogueTimeoutMs = 120000;

    // Directories are listed off the window's thread: waits until every
    // listing and walk the window started has been attached.
    void waitForListings()
    {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !window().listingBusy() && !window().rootProbePending(); }, 30000))
            << "a listing did not end";
    }
    QStringList selectedTexts()
    {
        QStringList texts;
        for (const QModelIndex& n : window().tvXMLTree->selectionOrder())
            texts << text(n);
        return texts;
    }

    static constexpr const char* kPlainStylesheet =
        R"(<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:template match="/"><html><body><h1><xsl:value-of select="//title"/></h1></body></html></xsl:template>
</xsl:stylesheet>)";

    testutil::TempDir m_program;
    testutil::TempDir m_work;
    testutil::TempDir m_tree;
    std::unique_ptr<testutil::ChangeDir> m_cwd;
    std::unique_ptr<TdmAtlasdesk> m_dataModule;
    std::unique_ptr<TdlgAtlasdesk> m_window;
    QStringList m_errors;
    std::vector<std::string> m_launched;
};

// Runs `answer` on the next modal dialog once it is shown.
inline void whenModal(std::function<void(QWidget*)> answer)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        }
    });
    timer->start();
}
