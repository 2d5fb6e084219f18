#pragma once
// TdlgAtlasdesk: the main window. Its constructor builds the components and
// connects them to named slots; each feature's handlers live in their own
// file (ServerList, TreeScan, TreeDisplay, OpenFiles, Form, Views,
// Thumbnail, Rename, Chartroom).
#include <QElapsedTimer>
#include <QMainWindow>
#include <QSet>
#include <memory>
#include <string>
#include <vector>

#include "HTMLlogOps.h"
#include "UploadRun.h"

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
class QSplitter;
class QTabWidget;
class QTableView;
class QToolButton;
class QTreeWidgetItem;
class BrowserPane;
class ServerTree;
class TreeNode;
class TdmAtlasdesk;
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

class TdlgAtlasdesk : public QMainWindow, private CatalogueHost {
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
    static QStringList ListFiles(const std::string& path, const QString& mask);
    void SetFormModified(bool modified);

    // Status display and counters.
    void StartTask(const std::string& caption, int maximum) override;
    void ShowProgress(int position) override;
    void ShowReady() override;
    void UpdateCounters();

    // Server list.
    void LoadServerMenu();
    bool BrowseForFolder(const QString& title, const QString& root, std::string& folder);

    // Tree scan.
    void ConnectToServer(const std::string& root);
    TreeNode* AddDirectoryNode(TreeNode* parent, const std::string& path);
    void ScanDirectoryNode(TreeNode* node);
    void DeleteSubtree(TreeNode* node);
    void ClearTree();

    // Tree display, filters and selection.
    bool IsCategoryShown(const TreeNode* node) const;
    void CleanSelection();
    void SelectSubtree(TreeNode* node);

    // Views.
    void OnTabXslShow();
    void OnTabXMLShow();
    void OnTabThumbnailShow();
    void OnTabRenameShow();

    // Catalogue.
    void UploadSelection();
    void SetIgnoreFlags(bool ignore);

    // Per-user memory of the window (WindowSettings.cpp): the geometry and
    // state, splitters, active page, Format, category boxes and the server
    // last connected. SaveSettings runs when the window closes.
    void SaveSettings();
    void RestoreSettings();
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
    QFrame* Panel6;
    ServerTree* tvXMLTree;
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
    void TestXML1Click();
    // Server list.
    void mnuConnectToXMLClick();
    void mnuNewServerClick();
    // Tree.
    void OntvXMLTreeExpanding(QTreeWidgetItem* item);
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
    // Selection and views.
    void OntvXMLTreeSelect();
    void OnPageChange(int index);
    void mnuOpenInEditorClick();
    // Catalogue.
    void mnuAddToChartroomClick();
    void mnuIgnoreInChartroomClick();
    void mnuUnignoreInChartroomClick();
    void OnbtConnectToChartroomClick();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWindow();
    void buildMenus();
    void buildLeftPane();
    void buildPages();
    void buildFormPage();
    void buildChartroomPage();
    QAction* addAction(QMenu* menu, const char* name, const QString& caption, int tag);
    void own(QObject* component, int tag);
    void fillStylesheetList();
    void expandSubtree(TreeNode* node);
    void addServerEntry(const std::string& path, int tag);
    void prepareLog();
    void showStatusMessage(const QString& message);
    std::vector<std::string> handedOverSelection() const;
    // CatalogueHost for the ignore command.
    void setTaskCaption(const std::string& caption) override;
    void setProgress(int position) override;
    void setProgressMaximum(int maximum) override;
    void busyCursor(bool on) override;
    // Handles pending events after a progress step: at once on the first
    // step of a task, then at most every few milliseconds.
    void processEventsDuringTask();

    TdmAtlasdesk* m_dataModule;
    std::vector<QObject*> m_components; // owned by the window, in creation order
    QButtonGroup* m_chartroomButtons = nullptr;
    QWidget* m_popFormTarget = nullptr;
    bool m_inSelectionHandler = false;
    bool m_batchSelecting = false;
    QElapsedTimer m_eventsProcessed; // since the last processEventsDuringTask that handled events
};
