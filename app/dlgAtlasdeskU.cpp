#include "app/dlgAtlasdeskU.h"

#include <pwd.h>
#include <unistd.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Accessibility.h"
#include "app/AppInstances.h"
#include "model/AtlasdeskOps.h"
#include "app/BrowserPane.h"
#include "app/CategoryIcons.h"
#include "app/CommandGuard.h"
#include "support/FileOps.h"
#include "support/Idrisi.h"
#include "model/ListingService.h"
#include "support/PathOps.h"
#include "app/SearchPane.h"
#include "app/ServerTree.h"
#include "model/StoreTreeModel.h"
#include "model/XMLFile.h"
#include "xml/XMLOps.h"
#include "support/widgets/dlgAbout.h"
#include "support/widgets/dlgHelp.h"
#include "catalogue/dmAtlasdeskU.h"

namespace {

const char* const kTag = "Tag";

QFrame* panel(const char* name, QWidget* parent)
{
    auto* f = new QFrame(parent);
    f->setObjectName(QLatin1String(name));
    return f;
}

} // namespace

TdlgAtlasdesk::TdlgAtlasdesk(TdmAtlasdesk* dataModule, QWidget* parent)
    : QMainWindow(parent), m_dataModule(dataModule)
{
    setObjectName(QStringLiteral("dlgAtlasdesk"));
    setWindowTitle(QStringLiteral("Atlasdesk"));
    setWindowIcon(applicationIcon());
    enableWebAccessibility(); // before the first web view starts the engine
    installTreeAccessibility();
    setupViews();
    m_listing = new ListingService(this);
    m_store = new StoreTreeModel(m_listing, this);
    connect(m_store, &StoreTreeModel::directoryLoaded, this, &TdlgAtlasdesk::onDirectoryLoaded);
    buildWindow();
    // The web views draw through textures. A window that learns so only
    // when the first page appears has its native window made anew (about a
    // second after start, losing the keys typed meanwhile); a texture child
    // from the start makes the window right the first time it is shown.
    // Only where the platform draws with OpenGL at all (not offscreen).
    if (QOpenGLContext probe; probe.create()) {
        auto* textureChild = new QOpenGLWidget(this);
        textureChild->setObjectName(QStringLiteral("glTextureChild"));
        textureChild->hide();
    }
    launchFile = [this](const std::string& path) { OpenWithDesktop(path); };
    folderPicker = [this](const QString& title, const QString& root, std::string& folder) {
        return BrowseForFolder(title, root, folder);
    };
    runCommand(this, [this] { OnFormCreate(); });
}

TdlgAtlasdesk::~TdlgAtlasdesk()
{
    stopCatalogueTask();
    ClearTree();
    // The tree's model goes before the listing service it asks, and both
    // while the views and the window are whole: as children of the window
    // they would go after this destructor, in the order they were made.
    delete m_store;
    m_store = nullptr;
    delete m_listing;
    m_listing = nullptr;
}

void TdlgAtlasdesk::own(QObject* component, int tag)
{
    component->setProperty(kTag, tag);
    m_components.push_back(component);
}

void TdlgAtlasdesk::buildWindow()
{
    resize(970, 828);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    setCentralWidget(central);

    auto* mainSplitter = new QSplitter(Qt::Horizontal, central);
    mainSplitter->setChildrenCollapsible(false);
    outer->addWidget(mainSplitter, 1);

    // Status line.
    Panel1 = panel("Panel1", central);
    Panel1->setFixedHeight(16);
    own(Panel1, 0);
    auto* statusLayout = new QHBoxLayout(Panel1);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    Panel3 = panel("Panel3", Panel1);
    own(Panel3, 255);
    statusLayout->addWidget(Panel3);
    auto* p3 = new QHBoxLayout(Panel3);
    p3->setContentsMargins(2, 0, 2, 0);
    lblTask = new QLabel(QStringLiteral("Ready:"), Panel3);
    lblTask->setObjectName(QStringLiteral("lblTask"));
    own(lblTask, 255);
    ggTask = new QProgressBar(Panel3);
    ggTask->setObjectName(QStringLiteral("ggTask"));
    ggTask->setTextVisible(true);
    ggTask->setValue(0);
    own(ggTask, 255);
    // Shown only while a cancellable task runs (not under the edition rule).
    btCancelTask = new QPushButton(QStringLiteral("Cancel"), Panel3);
    btCancelTask->setObjectName(QStringLiteral("btCancelTask"));
    btCancelTask->setVisible(false);
    connect(btCancelTask, &QPushButton::clicked, this, &TdlgAtlasdesk::requestCancelTask);
    m_escCancel = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_escCancel->setContext(Qt::WindowShortcut);
    m_escCancel->setEnabled(false);
    connect(m_escCancel, &QShortcut::activated, this, &TdlgAtlasdesk::requestCancelTask);
    p3->addWidget(lblTask);
    p3->addWidget(ggTask, 1);
    p3->addWidget(btCancelTask);
    outer->addWidget(Panel1);

    // Left pane.
    Panel6 = panel("Panel6", mainSplitter);
    Panel6->setMinimumWidth(300);
    own(Panel6, 255);
    buildLeftPane();

    // Right pane.
    Panel2 = panel("Panel2", mainSplitter);
    own(Panel2, 255);
    auto* right = new QVBoxLayout(Panel2);
    right->setContentsMargins(0, 0, 0, 0);
    auto* rightSplitter = new QSplitter(Qt::Vertical, Panel2);
    right->addWidget(rightSplitter);
    PageControl1 = new QTabWidget(rightSplitter);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    own(PageControl1, 255);
    wbOutput = new BrowserPane(rightSplitter);
    wbOutput->setObjectName(QStringLiteral("wbOutput"));
    own(wbOutput, 0);
    rightSplitter->addWidget(PageControl1);
    rightSplitter->addWidget(wbOutput);
    rightSplitter->setSizes({700, 93});
    Splitter2 = rightSplitter->handle(1);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    own(Splitter2, 0);

    mainSplitter->addWidget(Panel6);
    mainSplitter->addWidget(Panel2);
    mainSplitter->setStretchFactor(1, 1);
    mainSplitter->setSizes({312, 658});
    Splitter1 = mainSplitter->handle(1);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    own(Splitter1, 255);

    buildPages();
    buildMenus();
}

void TdlgAtlasdesk::buildLeftPane()
{
    auto* layout = new QVBoxLayout(Panel6);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tvXMLTree = new ServerTree(Panel6);
    tvXMLTree->setObjectName(QStringLiteral("tvXMLTree"));
    tvXMLTree->isShown = [this](const QModelIndex& node) { return IsCategoryShown(node); };
    tvXMLTree->setStoreModel(m_store);
    own(tvXMLTree, 255);
    // The search field stands above the tree; its results take the tree's place.
    searchPane = new SearchPane(tvXMLTree, Panel6);
    own(searchPane, 255);
    layout->addWidget(searchPane, 1);
    connectSearch();
    connect(tvXMLTree, &QTreeView::expanded, this, &TdlgAtlasdesk::OntvXMLTreeExpanding);
    connect(tvXMLTree, &QTreeView::collapsed, this, &TdlgAtlasdesk::OntvXMLTreeCollapsed);
    connect(tvXMLTree, &ServerTree::itemSelectionChanged, this, &TdlgAtlasdesk::OntvXMLTreeSelect);
    connect(tvXMLTree, &QAbstractItemView::doubleClicked, this, &TdlgAtlasdesk::OntvXMLTreeDblClick);
    connect(tvXMLTree, &ServerTree::popupRequested, this, &TdlgAtlasdesk::OntvXMLTreePopup);
    connect(tvXMLTree, &ServerTree::enterPressed, this, &TdlgAtlasdesk::OntvXMLTreeEnter);

    Panel8 = panel("Panel8", Panel6);
    Panel8->setFixedHeight(18);
    own(Panel8, 255);
    auto* counters = new QHBoxLayout(Panel8);
    counters->setContentsMargins(4, 0, 4, 0);
    stItems = new QLabel(QStringLiteral("Items: 0"), Panel8);
    stItems->setObjectName(QStringLiteral("stItems"));
    own(stItems, 255);
    stSelected = new QLabel(QStringLiteral("Selected: 0"), Panel8);
    stSelected->setObjectName(QStringLiteral("stSelected"));
    own(stSelected, 255);
    counters->addWidget(stItems);
    counters->addSpacing(16);
    counters->addWidget(stSelected);
    counters->addStretch(1);
    layout->addWidget(Panel8);

    Panel7 = panel("Panel7", Panel6);
    Panel7->setFixedHeight(45);
    own(Panel7, 255);
    auto* boxes = new QGridLayout(Panel7);
    boxes->setContentsMargins(4, 2, 4, 2);
    boxes->setVerticalSpacing(0);
    const struct {
        QCheckBox** box;
        const char* name;
        const char* caption;
        int category, row, column;
        bool checked;
    } defs[] = {
        {&ckVector, "ckVector", "&Vector", catVector, 0, 0, true},
        {&ckRaster, "ckRaster", "&Raster", catRaster, 1, 0, true},
        {&ckGIS, "ckGIS", "&GIS files", catGIS, 0, 1, true},
        {&ckTable, "ckTable", "&Table", catTable, 1, 1, false},
        {&ckDocument, "ckDocument", "&Document", catDocument, 0, 2, false},
        {&ckExecutable, "ckExecutable", "&Executable", catExecutable, 1, 2, false},
    };
    for (const auto& d : defs) {
        auto* box = new QCheckBox(QString::fromUtf8(d.caption), Panel7);
        box->setObjectName(QLatin1String(d.name));
        box->setChecked(d.checked);
        box->setIcon(categoryIcon(d.category));
        own(box, d.category);
        boxes->addWidget(box, d.row, d.column);
        // The state change itself, however it came (click, keyboard,
        // assistive technology, setChecked): box and filter always agree.
        connect(box, &QCheckBox::toggled, this, &TdlgAtlasdesk::OnChangeFileTypeDisplayed);
        *d.box = box;
    }
    layout->addWidget(Panel7);
}

QAction* TdlgAtlasdesk::addAction(QMenu* menu, const char* name, const QString& caption, int tag)
{
    auto* action = new QAction(caption, this);
    action->setObjectName(QLatin1String(name));
    if (caption.isEmpty())
        action->setSeparator(true);
    menu->addAction(action);
    own(action, tag);
    return action;
}

void TdlgAtlasdesk::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("mnuMainMenu"));

    auto submenu = [this](QWidget* parentMenu, const char* name, const char* caption, int tag) {
        auto* m = new QMenu(QString::fromUtf8(caption), parentMenu);
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        own(m->menuAction(), tag);
        if (auto* bar = qobject_cast<QMenuBar*>(parentMenu))
            bar->addMenu(m);
        else
            static_cast<QMenu*>(parentMenu)->addMenu(m);
        return m;
    };
    // One menu item: the window's member that holds it (or none), its name,
    // caption (none: a separator), Tag, key and handler (none: it does
    // nothing).
    struct Item {
        QAction** member;
        const char* name;
        const char* caption;
        int tag;
        QKeySequence keys;
        void (TdlgAtlasdesk::*handler)();
    };
    auto fill = [this](QMenu* menu, std::initializer_list<Item> items) {
        for (const Item& item : items) {
            QAction* action = addAction(menu, item.name, QString::fromUtf8(item.caption), item.tag);
            action->setShortcut(item.keys);
            if (item.handler)
                connect(action, &QAction::triggered, this, item.handler);
            if (item.member)
                *item.member = action;
        }
    };
    using W = TdlgAtlasdesk;
    const QKeySequence none;

    QMenu* files = submenu(bar, "Files1", "&Files", 255);
    mnuConnectToXML = submenu(files, "mnuConnectToXML", "&Connect to geodata server...", 255);
    fill(mnuConnectToXML, {{&mnuNewServer, "mnuNewServer", "&New server...", 255, none, &W::mnuNewServerClick}});
    fill(files, {
        {&mnuSearch, "mnuSearch", "&Find data sets...", 255, QKeySequence::Find, &W::mnuSearchClick},
        {&mnuQuit, "mnuQuit", "&Quit", 255, QKeySequence::Quit, &W::mnuQuitClick},
    });
    // The platform's key for Quit; where its scheme has none (Windows
    // conventions, the offscreen platform), Ctrl+Q.
    if (mnuQuit->shortcut().isEmpty())
        mnuQuit->setShortcut(Qt::CTRL | Qt::Key_Q);
    mnuQuit->setMenuRole(QAction::QuitRole);

    fill(submenu(bar, "mnuOperations", "&Operations", 0), {
        {nullptr, "mnuBuildPyramids", "Build p&yramids", 0, none, nullptr},
        {nullptr, "mnuExportThumbnails", "Export &thumbnails", 0, none, nullptr},
        {nullptr, "mnuRedrawThumbnails", "&Redraw thumbnails", 0, none, nullptr},
        {nullptr, "mnuDefineProjection", "Define &projection...", 0, none, nullptr},
    });
    fill(submenu(bar, "mnuChartroom", "&Chartroom", 0), {
        {&mnuAddToChartroom, "mnuAddToChartroom", "&Add to chartroom", 0, none, &W::mnuAddToChartroomClick},
        {&mnuClearChartroom, "mnuClearChartroom", "&Clear chartroom...", 0, none, nullptr},
    });
    fill(submenu(bar, "mnuMaintenance", "&Maintenance", 0), {
        {nullptr, "mnuAccessToXML", "&Access to XML", 0, none, nullptr},
        {nullptr, "mnuRepairdescriptions", "&Repair descriptions", 0, none, nullptr},
        {nullptr, "mnuRemoveREQUIRED", "Remove RE&QUIRED", 0, none, nullptr},
        {nullptr, "mnuSTinsteadofOFT", "ST instead of OFT", 0, none, nullptr},
    });
    fill(submenu(bar, "mnuTests", "&Tests", 0), {
        {&TestXML1, "TestXML1", "Test &XML", 0, none, &W::TestXML1Click},
    });
    fill(submenu(bar, "mnuHelp", "&Help", 255), {
        {&mnuHelpHelp, "mnuHelpHelp", "&Help...", 255, Qt::Key_F1, &W::mnuHelpHelpClick},
        {nullptr, "N5", "", 0, none, nullptr},
        {&mnuAbout, "mnuAbout", "&About...", 255, none, &W::mnuAboutClick},
    });

    popXMLTree = new QMenu(this);
    popXMLTree->setObjectName(QStringLiteral("popXMLTree"));
    // Every command of the pop-up has a key of its own, shown in the menu.
    fill(popXMLTree, {
        {&mnuXMLExpandAll, "mnuXMLExpandAll", "&Expand all", 255, Qt::CTRL | Qt::Key_E, &W::mnuXMLExpandAllClick},
        {&mnuXMLCollapseAll, "mnuXMLCollapseAll", "&Collapse all", 255, Qt::CTRL | Qt::SHIFT | Qt::Key_E,
         &W::mnuXMLCollapseAllClick},
        {&mnuRefresh, "mnuRefresh", "&Refresh", 255, Qt::Key_F5, &W::mnuRefreshClick},
        {nullptr, "N1", "", 0, none, nullptr},
        {&mnuSelectChildren, "mnuSelectChildren", "&Select children", 255, Qt::CTRL | Qt::SHIFT | Qt::Key_A,
         &W::mnuSelectChildrenClick},
        {&mnuUnselectAll, "mnuUnselectAll", "&Unselect all", 255, Qt::CTRL | Qt::SHIFT | Qt::Key_D,
         &W::mnuUnselectAllClick},
        {nullptr, "N2", "", 0, none, nullptr},
        {nullptr, "mnuXMLChangeServer", "&Change server...", 0, none, nullptr},
        {&mnuIgnoreInChartroom, "mnuIgnoreInChartroom", "&Ignore in chartroom", 0, none, &W::mnuIgnoreInChartroomClick},
        {&mnuUnignoreInChartroom, "mnuUnignoreInChartroom", "&Unignore in chartroom", 0, none,
         &W::mnuUnignoreInChartroomClick},
        {nullptr, "N3", "", 0, none, nullptr},
        {nullptr, "mnuUpdateIdrisi", "Update &Idrisi", 0, none, nullptr},
        {nullptr, "N4", "", 0, none, nullptr},
        {&mnuOpenFiles, "mnuOpenFiles", "&Open file(s)", 255, Qt::CTRL | Qt::Key_O, &W::OnMnuOpenFilesClick},
        {&mnuCopyPath, "mnuCopyPath", "Copy path", 255, Qt::CTRL | Qt::SHIFT | Qt::Key_C, &W::mnuCopyPathClick},
        {&mnuShowInFileManager, "mnuShowInFileManager", "Show in file manager", 255, Qt::CTRL | Qt::SHIFT | Qt::Key_O,
         &W::mnuShowInFileManagerClick},
    });
    // The pop-up's shortcuts (F5) work while the window has the focus.
    QWidget::addActions(popXMLTree->actions());

    popForm = new QMenu(this);
    popForm->setObjectName(QStringLiteral("popForm"));
    fill(popForm, {
        {&mnuClearField, "mnuClearField", "&Clear field", 0, none, nullptr},
        {&mnuOpenInEditor, "mnuOpenInEditor", "Open in &editor", 0, none, &W::mnuOpenInEditorClick},
    });
}

void TdlgAtlasdesk::buildPages()
{
    auto page = [this](QWidget** slot, const char* name, const QString& caption, int tag) {
        auto* w = new QWidget(PageControl1);
        w->setObjectName(QLatin1String(name));
        PageControl1->addTab(w, caption);
        own(w, tag);
        *slot = w;
        return w;
    };
    page(&tabForm, "tabForm", QStringLiteral("&Form"), 255);
    buildFormPage();

    page(&TabXSL, "TabXSL", QStringLiteral("&Metadata"), 255);
    {
        auto* v = new QVBoxLayout(TabXSL);
        v->setContentsMargins(0, 0, 0, 0);
        Panel10 = panel("Panel10", TabXSL);
        own(Panel10, 255);
        auto* h = new QHBoxLayout(Panel10);
        h->setContentsMargins(6, 4, 6, 4);
        Label24 = new QLabel(QStringLiteral("&Format:"), Panel10);
        Label24->setObjectName(QStringLiteral("Label24"));
        own(Label24, 255);
        cbXslFormat = new QComboBox(Panel10);
        cbXslFormat->setObjectName(QStringLiteral("cbXslFormat"));
        cbXslFormat->setMinimumWidth(260);
        own(cbXslFormat, 255);
        Label24->setBuddy(cbXslFormat);
        h->addWidget(Label24);
        h->addWidget(cbXslFormat);
        h->addStretch(1);
        v->addWidget(Panel10);
        wbXSL = new BrowserPane(TabXSL);
        wbXSL->setObjectName(QStringLiteral("wbXSL"));
        own(wbXSL, 255);
        v->addWidget(wbXSL, 1);
        connect(cbXslFormat, &QComboBox::currentIndexChanged, this,
                [this] { runCommand(this, [this] { OnTabXslShow(); }); });
    }

    page(&tabThumbnail, "tabThumbnail", QStringLiteral("Thumbnail"), 255);
    {
        auto* v = new QVBoxLayout(tabThumbnail);
        v->setContentsMargins(0, 0, 0, 0);
        Panel9 = panel("Panel9", tabThumbnail);
        own(Panel9, 255);
        auto* h = new QHBoxLayout(Panel9);
        h->setContentsMargins(6, 4, 6, 4);
        auto labelled = [this](QWidget* parent, QHBoxLayout* row, const char* name,
                               const QString& label, int tag) {
            auto* l = new QLabel(label, parent);
            auto* e = new QLineEdit(parent);
            e->setObjectName(QLatin1String(name));
            e->setReadOnly(true);
            e->setBackgroundRole(QPalette::Button);
            l->setBuddy(e);
            row->addWidget(l);
            row->addWidget(e, 1);
            own(e, tag);
            // The label belongs to its edit: it shows and hides with it.
            l->setProperty(kTag, tag);
            m_components.push_back(l);
            return e;
        };
        edThbFilename = labelled(Panel9, h, "edThbFilename", QStringLiteral("File name:"), 255);
        edThbThumbnail = labelled(Panel9, h, "edThbThumbnail", QStringLiteral("Thumbnail name:"), 0);
        v->addWidget(Panel9);
        imgThumbnail = new QLabel(tabThumbnail);
        imgThumbnail->setObjectName(QStringLiteral("imgThumbnail"));
        imgThumbnail->setAlignment(Qt::AlignCenter);
        own(imgThumbnail, 255);
        v->addWidget(imgThumbnail, 1);
    }

    page(&tabXML, "tabXML", QStringLiteral("&XML"), 255);
    {
        auto* v = new QVBoxLayout(tabXML);
        v->setContentsMargins(0, 0, 0, 0);
        wbXML = new BrowserPane(tabXML);
        wbXML->setObjectName(QStringLiteral("wbXML"));
        own(wbXML, 255);
        v->addWidget(wbXML);
    }

    page(&tabOptions, "tabOptions", QStringLiteral("&Options"), 0);
    {
        auto* v = new QVBoxLayout(tabOptions);
        auto* manager = new QGroupBox(QStringLiteral("&Manager"), tabOptions);
        auto* servers = new QGroupBox(QStringLiteral("Servers"), tabOptions);
        v->addWidget(manager);
        v->addWidget(servers);
        v->addStretch(1);
    }

    page(&TabRename, "TabRename", QStringLiteral("&Rename"), 0);
    {
        auto* v = new QVBoxLayout(TabRename);
        grpRename = new QGroupBox(QStringLiteral("Rename 0 files"), TabRename);
        grpRename->setObjectName(QStringLiteral("grpRename"));
        auto* g = new QVBoxLayout(grpRename);
        auto* row = new QHBoxLayout();
        auto* label = new QLabel(QStringLiteral("&Pattern:"), grpRename);
        edRenamePattern = new QLineEdit(grpRename);
        edRenamePattern->setObjectName(QStringLiteral("edRenamePattern"));
        label->setBuddy(edRenamePattern);
        row->addWidget(label);
        row->addWidget(edRenamePattern, 1);
        g->addLayout(row);
        Memo1 = new QPlainTextEdit(grpRename);
        Memo1->setObjectName(QStringLiteral("Memo1"));
        Memo1->setFrameShape(QFrame::NoFrame);
        Memo1->setBackgroundRole(QPalette::Button);
        Memo1->setPlainText(QStringLiteral("$N\t: Old file name\n#\t: Digit\n?\t: Prefix"));
        g->addWidget(Memo1);
        v->addWidget(grpRename);
        v->addStretch(1);
    }

    page(&tabChartroom, "tabChartroom", QStringLiteral("Chartroom"), 0);
    buildChartroomPage();

    connect(PageControl1, &QTabWidget::currentChanged, this, &TdlgAtlasdesk::OnPageChange);

    // Tab goes from the tree through the category boxes to the pages.
    QWidget* order[] = {tvXMLTree, ckVector, ckRaster, ckGIS, ckTable, ckDocument, ckExecutable, PageControl1};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void TdlgAtlasdesk::OnPageChange(int index)
{
    QWidget* page = PageControl1->widget(index);
    runCommand(this, [this, page] {
        if (!redrawView(page) && page == TabRename)
            OnTabRenameShow();
    });
}

// ---- Start-up -----------------------------------------------------------

void TdlgAtlasdesk::OnFormCreate()
{
    UserName = GetLoginName();
    LoadConfiguration();
    ShownCategories = {catDirectory, catCatalog};
    for (QCheckBox* box : {ckVector, ckRaster, ckGIS, ckTable, ckDocument, ckExecutable})
        if (box->isChecked())
            ShownCategories.insert(box->property(kTag).toInt());
    LoadIdrisiEnvironment(AppDir);
    fillStylesheetList();
    QCoreApplication::processEvents();
    PageControl1->setCurrentIndex(0);
    LoadServerMenu();
    ApplyEdition();
}

void TdlgAtlasdesk::fillStylesheetList()
{
    // Stylesheet names are matched and sorted without regard to case, as
    // users of the store's other tools expect.
    QDir folder(QFile::decodeName(QByteArray::fromStdString(AppDir)));
    const QStringList files = folder.entryList({QStringLiteral("*.xsl")}, QDir::Files | QDir::Hidden,
                                               QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    const QSignalBlocker block(cbXslFormat);
    cbXslFormat->clear();
    for (const QString& name : files) {
        // Names starting with "~" are scratch copies (earlier versions wrote
        // "~Last Used.xsl" here), not stylesheets of their own.
        if (!name.startsWith(QLatin1Char('~')))
            cbXslFormat->addItem(name);
    }
    cbXslFormat->setCurrentIndex(cbXslFormat->count() > 0 ? 0 : -1);
}

std::string TdlgAtlasdesk::GetLoginName()
{
    std::string name;
    if (const passwd* pw = getpwuid(geteuid()))
        name = pw->pw_name;
    else if (const char* user = getenv("USER"))
        name = user;
    // The name is read into a buffer of 250 characters, terminator included.
    if (name.size() > 249)
        name.resize(249);
    return name;
}

void TdlgAtlasdesk::ApplyEdition()
{
    for (QObject* component : m_components) {
        const bool visible = component->property(kTag).toInt() > 0;
        if (auto* action = qobject_cast<QAction*>(component)) {
            action->setVisible(visible);
            continue;
        }
        auto* widget = qobject_cast<QWidget*>(component);
        if (!widget)
            continue;
        const int page = PageControl1->indexOf(widget);
        if (page >= 0)
            PageControl1->setTabVisible(page, visible);
        else
            widget->setVisible(visible);
    }
    SetEditionTitle(QStringLiteral("Atlasdesk.View"));
}

void TdlgAtlasdesk::SetEditionTitle(const QString& title)
{
    EditionTitle = title;
    QString caption = title;
    if (!ServerRoot.empty())
        caption += QStringLiteral(" - ") + QString::fromStdString(ServerRoot);
    setWindowTitle(caption);
}

bool TdlgAtlasdesk::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::WindowActivate:
        FormActivate();
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowStateChange:
        settingsChanged();
        break;
    default:
        break;
    }
    return QMainWindow::event(e);
}

void TdlgAtlasdesk::FormActivate()
{
    PageControl1->setTabVisible(PageControl1->indexOf(tabForm), false);
}

void TdlgAtlasdesk::closeEvent(QCloseEvent* e)
{
    if (m_settingsTimer)
        m_settingsTimer->stop();
    SaveSettings();
    ClearTree();
    QMainWindow::closeEvent(e);
}

// ---- Status display and counters -----------------------------------------

void TdlgAtlasdesk::StartTask(const std::string& caption, int maximum)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    lblTask->setText(QString::fromStdString(caption));
    ggTask->setValue(0);
    ggTask->setMaximum(std::max(0, maximum));
    m_eventsProcessed.invalidate();
}

void TdlgAtlasdesk::ShowProgress(int position)
{
    ggTask->setValue(position);
    processEventsDuringTask();
}

void TdlgAtlasdesk::processEventsDuringTask()
{
    // Handling events once per data set let the web views' own work (their
    // engine runs on this thread) cost more than a catalogue row. Every
    // 15 ms still gives a gauge and a window that move smoothly.
    constexpr qint64 kIntervalMs = 15;
    if (m_eventsProcessed.isValid() && m_eventsProcessed.elapsed() < kIntervalMs)
        return;
    QCoreApplication::processEvents();
    m_eventsProcessed.start();
}

void TdlgAtlasdesk::ShowReady()
{
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    lblTask->setText(QStringLiteral("Ready"));
    ggTask->setValue(0);
}

void TdlgAtlasdesk::beginCancellableTask(std::function<void()> onCancel)
{
    m_cancelTask = std::move(onCancel);
    m_indexOnTaskLine = false;
    btCancelTask->setEnabled(true);
    btCancelTask->setVisible(true);
    // The View edition hides the status line; a task that can take long
    // shows it while it runs, so its progress and Cancel can be seen.
    Panel1->setVisible(true);
    m_escCancel->setEnabled(true);
}

void TdlgAtlasdesk::endCancellableTask()
{
    m_cancelTask = {};
    btCancelTask->setEnabled(false);
    btCancelTask->setVisible(false);
    Panel1->setVisible(Panel1->property(kTag).toInt() > 0);
    m_escCancel->setEnabled(false);
}

void TdlgAtlasdesk::requestCancelTask()
{
    // Taken out first: the task's own handler usually ends the task.
    if (std::function<void()> cancel = std::exchange(m_cancelTask, {}))
        runCommand(this, cancel);
}

void TdlgAtlasdesk::UpdateCounters()
{
    stItems->setText(QStringLiteral("Items: %1").arg(m_store->nodeCount()));
    stSelected->setText(QStringLiteral("Selected: %1").arg(tvXMLTree->selectionCount()));
    // Listing a directory updates the counters too: the page is asked again
    // only when the selection it shows has changed.
    if (PageControl1->currentWidget() == tabThumbnail)
        refreshThumbnailIfChanged();
    refreshStartPage();
}

void TdlgAtlasdesk::setProgressMaximum(int maximum)
{
    ggTask->setMaximum(std::max(0, maximum));
}

void TdlgAtlasdesk::busyCursor(bool on)
{
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
}

// ---- Help ----------------------------------------------------------------

void TdlgAtlasdesk::mnuAboutClick()
{
    TdlgAboutBox* about = dlgAboutBox();
    about->exec();
}

void TdlgAtlasdesk::mnuHelpHelpClick()
{
    TdlgHelp* help = dlgHelp();
    help->show();
    help->raise();
    help->activateWindow();
}

void TdlgAtlasdesk::mnuQuitClick()
{
    close();
}

void TdlgAtlasdesk::TestXML1Click()
{
    runCommand(this, [] { WriteTestXML("TestXML.xml"); });
}
