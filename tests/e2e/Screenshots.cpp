// Takes the README's screenshots of the main window on the demo server:
//   atlasdesk_screenshots OUTPUT-FOLDER
// Run it on an X server (scripts/screenshots.sh starts a virtual one).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QWindow>
#include <cstdio>
#include <filesystem>

#include "model/AtlasdeskOps.h"
#include "app/BrowserPane.h"
#include "app/MetadataViews.h"
#include "app/ServerTree.h"
#include "TestUtil.h"
#include "app/dlgAtlasdeskU.h"
#include "catalogue/dmAtlasdeskU.h"
#include "SandboxRule.h"

namespace fs = std::filesystem;

namespace {

// The row of `parent` shown as `name`; invalid when there is none.
QModelIndex childNamed(const QModelIndex& parent, const char* name)
{
    const QAbstractItemModel* model = parent.model();
    for (int row = 0; row < model->rowCount(parent); ++row)
        if (model->index(row, 0, parent).data().toString() == QLatin1String(name))
            return model->index(row, 0, parent);
    return {};
}

QModelIndex open(TdlgAtlasdesk& w, const QModelIndex& parent, const char* name)
{
    const QModelIndex node = childNamed(parent, name);
    if (!node.isValid()) {
        std::fprintf(stderr, "no node %s under %s\n", name, qPrintable(parent.data().toString()));
        w.close();
        std::exit(1);
    }
    w.tvXMLTree->expand(node);
    if (!QTest::qWaitFor([&w] { return !w.listingBusy(); }, 30000))
        std::fprintf(stderr, "the folder %s is still being read\n", name);
    return node;
}

void waitRendered(BrowserPane* pane, const std::function<void()>& action)
{
    bool done = false;
    const auto c = QObject::connect(pane, &BrowserPane::rendered, [&](bool) { done = true; });
    action();
    if (!QTest::qWaitFor([&] { return done; }, 20000))
        std::fprintf(stderr, "%s did not finish rendering\n", qPrintable(pane->objectName()));
    QObject::disconnect(c);
    QTest::qWait(700); // let the page paint
}

void shoot(QWidget& window, const QString& file)
{
    QApplication::processEvents();
    const QPixmap shot = window.screen()->grabWindow(0).copy(window.frameGeometry());
    if (!shot.save(file))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    else
        std::printf("%s\n", qPrintable(file));
}

} // namespace

int main(int argc, char** argv)
{
    testutil::disableSandboxForRoot();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Atlasdesk"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    const std::string source = ATLASDESK_SOURCE_DIR;
    testutil::TempDir program, work;
    fs::copy_file(source + "/data/AtlasdeskView.ini.xml", program / "AtlasdeskView.ini.xml");
    for (const auto& entry : fs::directory_iterator(source + "/data"))
        if (entry.path().extension() == ".xsl")
            fs::copy_file(entry.path(), program.path() + entry.path().filename().string());
    SetProgramFolder(program.path());
    testutil::ChangeDir cd(work.path());
    const std::string demo = source + "/data/demo-server";
    AppendServer(demo);

    TdmAtlasdesk dataModule;
    TdlgAtlasdesk w(&dataModule);
    w.resize(1180, 780);
    w.move(0, 0);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;
    w.activateWindow();
    QTest::qWait(300);

    w.ConnectToServer(demo);
    const QModelIndex root = w.tvXMLTree->rootNode();
    w.tvXMLTree->expand(root);
    if (!QTest::qWaitFor([&w] { return !w.listingBusy(); }, 30000))
        std::fprintf(stderr, "the demo server is still being read\n");
    const QModelIndex bretagne = open(w, open(w, open(w, root, "10_world"), "21_france"), "31_bretagne");
    const QModelIndex ign = open(w, open(w, bretagne, "transport"), "ign");
    open(w, bretagne, "hydrology");
    const QModelIndex routes = childNamed(ign, "routes.shp");
    if (!routes.isValid())
        return 1;

    w.PageControl1->setCurrentWidget(w.TabXSL);
    waitRendered(w.wbXSL, [&] { w.tvXMLTree->setCurrentIndex(routes); });
    shoot(w, out + "/metadata.png");

    w.tvXMLTree->scrollTo(routes);
    waitRendered(w.wbXML, [&] { w.PageControl1->setCurrentWidget(w.tabXML); });
    shoot(w, out + "/xml.png");

    w.PageControl1->setCurrentWidget(w.tabThumbnail);
    if (!QTest::qWaitFor([&] { return !w.views()->busy(); }, 60000))
        return 1;
    QTest::qWait(300);
    shoot(w, out + "/thumbnail.png");

    // Greyed categories: tables and documents are unchecked at start; with
    // Vector unchecked too, the shapefiles turn grey.
    w.PageControl1->setCurrentWidget(w.TabXSL);
    w.ckVector->click();
    QTest::qWait(300);
    shoot(w, out + "/greyed.png");
    return 0;
}
