#pragma once
// TdlgAtlasdesk: the main window. Its constructor builds the components and
// connects them to named slots; each feature's handlers live in their own
// file (ServerList, TreeScan, TreeDisplay, OpenFiles, Form, Views,
// Thumbnail, Rename, Chartroom).
#include <QElapsedTimer>
#include <QMainWindow>
#include <QModelIndex>
#include <QSet>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/Background.h"
#include "support/HTMLlogOps.h"
#include "catalogue/CatalogueTask.h"
#include "catalogue/KeyringPassword.h"
#include "catalogue/TeamSearch.h"
#include "catalogue/UploadRun.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QShortcut;
class QSplitter;
class QTabWidget;
class QTimer;
class QTableView;
class QToolButton;
class BrowserPane;
class MetadataViews;
struct MetadataView;
struct MetadataViewRequest;
enum class MetadataPage;
class SearchPane;
class SearchService;
class PathWalk;
class ServerTree;
class StoreIndexer;
class StoreTreeModel;
class SubtreeWalk;
struct IndexReport;
struct SearchAnswer;
struct SearchHit;
class TdmAtlasdesk;
class ListingService;
class tXMLFile;

// A server entry of "&Connect to geodata server...".
class tMenuItemServer : public QObject {
    Q_OBJECT
public:
    tMenuItemServer(const std::string& serverPath, QMenu* owner);
    std::string ServerPath;
    QAction* action() const { return m_action; }

private:
    QAction* m_action;
};

class TdlgAtlasdesk : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window and runs the start-up sequence; a failing step is
    // shown and ends the sequence, the window is still usable.
    explicit TdlgAtlasdesk(TdmAtlasdesk* dataModule, QWidget* parent = nullptr);
    ~TdlgAtlasdesk() override;

    // Main-window state.
    std::string ServerRoot;
    QString EditionTitle;
    QSet<int> ShownCategories;
    std::vector<tXMLFile*> SelectedFiles; // tree selection order; not owned
    bool FormModified = false;
    bool FilterBusy = false;

    // Start-up and edition.
    void ApplyEdition();
    void SetEditionTitle(const QString& title);
    static std::string GetLoginName();
    void SetFormModified(bool modified);

    // Status display and counters.
    void StartTask(const std::string& caption, int maximum);
    void ShowProgress(int position);
    void ShowReady();
    void UpdateCounters();

    // Server list.
    void LoadServerMenu();
    bool BrowseForFolder(const QString& title, const QString& root, std::string& folder);

    // Tree scan. The tree's nodes and their listing state are the store
    // tree model's (model/StoreTreeModel); the window asks it and wires it
    // to the view.
    void ConnectToServer(const std::string& root);
    // Starts listing `node` unless it is listed or on its way; the model
    // inserts the children when the answer comes (the window never waits
    // for it).
    void ScanDirectoryNode(const QModelIndex& node);
    void ClearTree();
    // The tree's model and the listing service it asks (tests shorten its
    // timeout).
    StoreTreeModel* storeTree() const { return m_store; }
    ListingService* listingService() const { return m_listing; }
    // True while a directory listing or a walk (Expand all, Select
    // children) is still running.
    bool listingBusy() const;
    // Connected, and what the disk says of the server root has not come yet.
    bool rootProbePending() const { return m_rootProbePending; }
    // Drops selected nodes that a collapsed ancestor hides.
    void DropHiddenFromSelection();

    // Cancellable tasks: the Cancel button beside the gauge and Esc call
    // `onCancel` of the task that runs (one at a time). Window thread only.
    void beginCancellableTask(std::function<void()> onCancel);
    void endCancellableTask();
    bool cancellableTaskRunning() const { return static_cast<bool>(m_cancelTask); }

    // Finding data sets (the index of the connected server).
    // The index file of a server root: one per root, in the user's cache.
    QString searchIndexFile(const std::string& root) const;
    // Brings the connected server's index up to date in the background;
    // `thoroughly`: checks the whole file first (a search met damage).
    void startIndexing(bool thoroughly = false);
    // Searches with the pane's words and extent (off this thread).
    void runSearch();
    // Expands the tree down to the data set and selects it alone. Folders
    // are listed through the tree's own expansion: the walk goes on as
    // their listings arrive (the window never waits). When the tree has no
    // node for it, the status line says so.
    void revealDataSet(const std::string& path, const std::string& xmlPath);
    // Where the indexes live; empty: the user's cache folder. Tests set it.
    QString searchIndexFolder;
    // Asks for the password of the team search's account (`text` says
    // which, and where it is kept); none when the user cancels. Unset: a
    // password dialog. Tests set it.
    std::function<std::optional<QString>(const QString& text)> searchPasswordPrompt;
    // Connecting and Refresh update the index; benchmarks of the tree turn
    // it off so that the indexer's work does not count in their figures.
    bool indexOnConnect = true;

    // Tree display, filters and selection.
    bool IsCategoryShown(const QModelIndex& node) const;
    void CleanSelection();
    void SelectSubtree(const QModelIndex& node);

    // Views.
    void OnTabXslShow();
    void OnTabXMLShow();
    void OnTabThumbnailShow();
    void OnTabRenameShow();
    // The views' worker; tests wait until it is no longer busy.
    MetadataViews* views() const;

    // Catalogue. Both commands snapshot the selection, start a run on a
    // worker and return at once; catalogueTaskFinished() tells the end.
    void UploadSelection();
    void SetIgnoreFlags(bool ignore);
    // A catalogue run is under way.
    bool isCatalogueTaskRunning() const { return m_catalogueTask != nullptr; }
    // Tests: handed to each run, called on the run's thread just before
    // each data set.
    std::function<void(size_t index)> catalogueStepHook;

    // Per-user memory of the window (WindowSettings.cpp): the geometry and
    // state, splitters, active page, Format, category boxes and the server
    // last connected. Once RestoreSettings has run, every change of that
    // state is written half a second later (several changes in a row are
    // written once), and SaveSettings runs again when the window closes; a
    // window that never read its memory never overwrites it.
    void SaveSettings();
    void RestoreSettings();
    // The memory is to be written soon (restarts the half second).
    void settingsChanged();
    // True while a change waits to be written.
    bool settingsPending() const;
    // Connects to `folder` (the start argument) or, when it is empty, to the
    // server remembered from the last run; a server that cannot be reached
    // leaves the tree empty with a message in the status line.
    void StartOn(const std::string& folder);
    // The folder named on the command line (what the toolkit left of it):
    // the first argument that is not an option, as bytes; "" without one.
    static std::string StartFolder(int argc, char* argv[]);
    // The status line's message (empty when none is shown).
    QString StatusMessage() const;

    // Starts the desktop's program for `path` without waiting for it; a
    // failure of the opener is shown when it comes.
    void OpenWithDesktop(const std::string& path);
    // Shows the items in the desktop's file manager, selected in their
    // folder where the file manager offers that.
    void ShowInFileManager(const std::vector<std::string>& paths);
    // The D-Bus address where the file manager is asked; empty for the
    // session bus. Tests point it to a bus of their own. Window thread.
    QString fileManagerBus;

    // The opener used by "&Open file(s)"; tests may replace it.
    std::function<void(const std::string&)> launchFile;
    // The folder picker; tests may replace it (returns false on cancel).
    std::function<bool(const QString& title, const QString& root, std::string& folder)> folderPicker;

    // Components, named as the window's objects.
    QFrame* Panel1;
    QFrame* Panel3;
    QLabel* lblTask;
    QProgressBar* ggTask;
    QPushButton* btCancelTask; // shown only while a cancellable task runs
    QFrame* Panel6;
    ServerTree* tvXMLTree;
    SearchPane* searchPane;
    QFrame* Panel8;
    QLabel* stItems;
    QLabel* stSelected;
    QFrame* Panel7;
    QCheckBox* ckVector;
    QCheckBox* ckRaster;
    QCheckBox* ckGIS;
    QCheckBox* ckTable;
    QCheckBox* ckDocument;
    QCheckBox* ckExecutable;
    QWidget* Splitter1;
    QFrame* Panel2;
    QTabWidget* PageControl1;
    QWidget* Splitter2;
    BrowserPane* wbOutput;
    QWidget* tabForm;
    QWidget* TabXSL;
    QWidget* tabThumbnail;
    QWidget* tabXML;
    QWidget* tabOptions;
    QWidget* TabRename;
    QWidget* tabChartroom;
    // Form page.
    QScrollArea* ScrollBox1;
    QLabel* lblProductName;
    QPushButton* btSave;
    QPushButton* btRefresh;
    QPushButton* btAdd;
    QPushButton* btCopyFromTopNode;
    QPushButton* btUpdatePathFile;
    QCheckBox* ckUpdatePathFile;
    QList<QWidget*> formFields; // Tag 1..23 in Tag order
    // Metadata page.
    QFrame* Panel10;
    QLabel* Label24;
    QComboBox* cbXslFormat;
    BrowserPane* wbXSL;
    // Thumbnail page.
    QFrame* Panel9;
    QLineEdit* edThbFilename;
    QLineEdit* edThbThumbnail;
    QLabel* imgThumbnail;
    // XML page.
    BrowserPane* wbXML;
    // Rename page.
    QGroupBox* grpRename;
    QLineEdit* edRenamePattern;
    QPlainTextEdit* Memo1;
    // Chartroom page.
    QTableView* dbgChartroom;
    QToolButton* btConnectToChartroom;
    QToolButton* btDisconnect;
    // Menus.
    QMenu* mnuConnectToXML;
    QMenu* popXMLTree;
    QMenu* popForm;
    QAction* mnuNewServer;
    QAction* mnuSearch;
    QAction* mnuQuit;
    QAction* mnuHelpHelp;
    QAction* mnuAbout;
    QAction* mnuRefresh;
    QAction* mnuXMLExpandAll;
    QAction* mnuXMLCollapseAll;
    QAction* mnuSelectChildren;
    QAction* mnuUnselectAll;
    QAction* mnuIgnoreInChartroom;
    QAction* mnuUnignoreInChartroom;
    QAction* mnuOpenFiles;
    QAction* mnuCopyPath;
    QAction* mnuShowInFileManager;
    QAction* mnuAddToChartroom;
    QAction* mnuClearChartroom;
    QAction* TestXML1;
    QAction* mnuOpenInEditor;
    QAction* mnuClearField;

    tHTMLLog Log;

public slots:
    // Start-up and shell.
    void OnFormCreate();
    void FormActivate();
    void mnuAboutClick();
    void mnuHelpHelpClick();
    // "&Quit": closes the window as the window manager's close does.
    void mnuQuitClick();
    void TestXML1Click();
    // Server list.
    void mnuConnectToXMLClick();
    void mnuNewServerClick();
    // Tree.
    void OntvXMLTreeExpanding(const QModelIndex& node);
    void OntvXMLTreeCollapsed(const QModelIndex& node);
    // "Cancel" and Esc: stops the cancellable task that runs, if any.
    void requestCancelTask();
    void mnuRefreshClick();
    void OnChangeFileTypeDisplayed();
    void mnuXMLExpandAllClick();
    void mnuXMLCollapseAllClick();
    void mnuSelectChildrenClick();
    void mnuUnselectAllClick();
    void OntvXMLTreeDblClick();
    void OntvXMLTreePopup(const QPoint& globalPos);
    void OnMnuOpenFilesClick();
    void OntvXMLTreeEnter();
    void mnuCopyPathClick();
    void mnuShowInFileManagerClick();
    // Search.
    void mnuSearchClick();
    void onSearchAnswered(const SearchAnswer& answer);
    void onSearchResultChosen(const SearchHit& hit);
    // The pages on the right follow the highlighted result, or the tree.
    void onSearchViewedChanged();
    void onResultsExported(const QString& file, int count, const QString& error);
    void onIndexProgress(int done, int total);
    void onIndexNotice(const QString& text);
    void onIndexFinished(const IndexReport& report);
    // Selection and views.
    void OntvXMLTreeSelect();
    void OnPageChange(int index);
    void mnuOpenInEditorClick();
    // Catalogue.
    void mnuAddToChartroomClick();
    void mnuIgnoreInChartroomClick();
    void mnuUnignoreInChartroomClick();
    void OnbtConnectToChartroomClick();

signals:
    // A catalogue run ended: its end steps were shown, and its error after
    // them.
    void catalogueTaskFinished();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWindow();
    void buildMenus();
    void buildLeftPane();
    void connectSearch();
    void buildPages();
    void buildFormPage();
    void buildChartroomPage();
    QAction* addAction(QMenu* menu, const char* name, const QString& caption, int tag);
    void own(QObject* component, int tag);
    void fillStylesheetList();
    // A folder's listing ended: shows its error, if any, and the counters.
    void onDirectoryLoaded(const QModelIndex& dir);
    // Walks (Expand all, Select children, the double click): every
    // directory below some nodes listed through the model and opened in
    // the view, with progress on the task line and Cancel. `done` runs when
    // it ends; `stopOnError`: a folder that cannot be read ends the walk as
    // stopped, its error in the message line.
    void startWalk(const std::vector<QModelIndex>& tops, std::function<void(bool completed)> done,
                   bool stopOnError = false);
    void cancelWalk();
    void addServerEntry(const std::string& path, int tag);
    void prepareLog();
    // Metadata views (ViewHandlers.cpp, ThumbnailHandlers.cpp).
    void setupViews();
    // Asks the views' worker for the Metadata or XML page of what is viewed:
    // the result highlighted in the search pane, else the tree's node (a
    // greyed one is shown at once).
    void showMetadataPage(MetadataPage page);
    // Redraws `page` when it is one of the metadata views; false otherwise.
    bool redrawView(const QWidget* page);
    QModelIndex viewedNode(bool& greyed) const;
    void showGreyedNode(BrowserPane* pane, MetadataPage page, const QModelIndex& node);
    bool thumbnailSubject(std::string& dataPath, std::string& xmlPath) const;
    void showView(const MetadataView& view);
    // Whether `metadataPath` is the metadata file of the tree's root.
    bool isRootMetadata(const std::string& metadataPath) const;
    // The start page on the Metadata or XML page while no data set's page
    // has been shown since connecting (see m_dataSetShown):
    // the server and its counts, the search index, the keys, or how to
    // connect a server when none is.
    void showStartPage(MetadataPage page);
    // Asks for the start page again soon when one is showing (its counts
    // or the index changed); several asks in a row redraw it once.
    void refreshStartPage();
    void showThumbnail(const MetadataView& view);
    void refreshThumbnailIfChanged();
    // The status display as the ignore command drives it.
    void setProgressMaximum(int maximum);
    void busyCursor(bool on);
    // Starts `work` on a worker and shows what it reports; `closesCatalogue`:
    // the catalogue page's connection is closed when it ends (an upload).
    // Throws when a run is under way already.
    void startCatalogueTask(CatalogueTask::Work work, bool closesCatalogue);
    // Cancels a running catalogue task and waits for it to stop, without
    // showing anything more (the window is going away).
    void stopCatalogueTask();
    void showStatusMessage(const QString& message);
    std::vector<std::string> handedOverSelection() const;
    // Handles pending events after a progress step: at once on the first
    // step of a task, then at most every few milliseconds.
    void processEventsDuringTask();

    TdmAtlasdesk* m_dataModule;
    StoreIndexer* m_indexer = nullptr;  // window thread only; its worker reports by signals
    // The task line shows the running index update's progress: no walk or
    // catalogue run has taken it since the update started (their end
    // captions stay).
    bool m_indexOnTaskLine = false;
    // A search met a damaged index and an update that checks the whole file
    // was started for it; cleared by the next answer that finds the index
    // sound, so that a fault the check cannot mend does not start one
    // rebuild after the other (window thread only).
    bool m_damageHandled = false;
    // The way down to the data set being revealed, while folders on it are
    // listed (window thread only; a child of the window).
    PathWalk* m_reveal = nullptr;
    void cancelReveal();
    // The server root as the disk sees it, asked off the window's thread
    // when connecting. Window thread only.
    struct RootProbe {
        bool isDirectory = false;
        bool auxBeside = false;
    };
    void probeRoot(const std::string& root);
    void applyRootProbe(quint64 probe, const RootProbe& found);
    WorkerPool m_rootChecks{QStringLiteral("root checks"), 1};
    BackgroundJob<RootProbe>* m_rootProbeJob = nullptr; // the newest probe's, until it answers
    quint64 m_rootProbe = 0;          // the newest probe; older answers are dropped
    bool m_rootProbePending = false;  // its answer has not come yet
    bool m_rootProbeAtStart = false;  // a root that is no folder leaves an empty tree and a message
    SearchService* m_search = nullptr;  // window thread only
    // The team's index on the catalogue server, when the configuration
    // names one with its searching account (read when a server is
    // connected); its health is shared by this window's searches (any
    // thread). The share is then indexed here only when the settings ask
    // for it or once the team index has failed. Window thread only.
    std::optional<TeamSearchSettings> m_teamSearch;
    std::shared_ptr<TeamSearch::Health> m_teamHealth;
    bool m_localIndexStarted = false; // since the server was connected
    bool m_teamSearchWaiting = false; // for the keyring's answer
    quint64 m_teamSearchRead = 0;     // the newest keyring read; older answers are dropped
    QString m_teamSearchKey;          // the account's name in the keyring
    void readTeamSearch();
    void useTeamSearchPassword(TeamSearchSettings settings, const keyring::ReadResult& read);
    std::optional<QString> askSearchPassword(const ChartroomSettings& server, bool keyring);
    std::vector<QObject*> m_components; // owned by the window, in creation order
    QButtonGroup* m_chartroomButtons = nullptr;
    QWidget* m_popFormTarget = nullptr;
    bool m_inSelectionHandler = false;
    bool m_batchSelecting = false;
    MetadataViews* m_views = nullptr; // window thread only; owned as a child
    std::string m_thumbnailKey;       // window thread only: the selection the Thumbnail page last asked for
    CatalogueTask* m_catalogueTask = nullptr; // window thread only; the running catalogue run, or null
    QElapsedTimer m_eventsProcessed; // since the last processEventsDuringTask that handled events
    // Window thread only, all of them.
    ListingService* m_listing = nullptr;  // a child of the window
    StoreTreeModel* m_store = nullptr;    // the tree's model; a child of the window
    SubtreeWalk* m_walk = nullptr;        // the walk that runs, if any; a child of the window
    std::function<void()> m_cancelTask;   // what Cancel/Esc stops; empty without a task
    QShortcut* m_escCancel = nullptr;
    // Writes the memory a moment after it changed; made by RestoreSettings.
    QTimer* m_settingsTimer = nullptr;
    QTimer* m_startPageTimer = nullptr; // window thread only; see refreshStartPage
    bool m_startPageWanted = false;     // nothing is viewed: the start page is asked for at once
    // A data set's page (anything but the start page) has been shown since
    // the server was connected; until then the start page stands in for
    // "nothing viewed" and for the root without metadata. Window thread only.
    bool m_dataSetShown = false;
};
