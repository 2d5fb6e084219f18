#pragma once
// The search pane of the main window's left side: a search field above the
// tree, an optional extent (four numbers or a rectangle dragged on the
// world map), and the results, which take the tree's place while shown.
// The highlighted result is what the pages on the right show; Enter or a
// double click reveals it in the tree. It only shows and asks: the window
// runs the searches.
#include <QStringList>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "model/SearchService.h"
#include "support/Background.h"

class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QStackedWidget;
class QTimer;
class QToolButton;
class SearchResultsModel;
class WorldMap;

// Members: window thread only.
class SearchPane : public QWidget {
    Q_OBJECT
public:
    // `tree` is shown below the field until results replace it; the pane
    // takes it into its layout but never changes it.
    SearchPane(QWidget* tree, QWidget* parent = nullptr);

    // The words and extent the fields describe. False when they ask for
    // nothing (no word, no complete extent).
    bool query(SearchQuery& query) const;
    // Shows `answer` in place of the tree; `updating` says an update of the
    // index really runs (this window's or another's). An answer's error is
    // shown as it stands. An answer that brings the rest of the list (see
    // SearchService) is added to the rows shown.
    void showAnswer(const SearchAnswer& answer, bool updating);
    // The tree again, as it was; the field keeps its text. No more answers
    // are awaited: a copy or export waiting for the rest of the list is
    // dropped (the export says so).
    void showTree();
    bool resultsShown() const;
    // How many answers have been shown so far (tests wait for the next).
    int answersShown() const { return m_answers; }
    // Puts the cursor in the search field (Ctrl+F).
    void focusField();
    // Clears words and extent and shows the tree (Esc).
    void clearSearch();
    // A line under the field: what the index is doing.
    void setIndexStatus(const QString& text);
    const QString& indexStatus() const { return m_indexStatus; }

    // The results shown, in rank order.
    const std::vector<SearchHit>& results() const;
    // The result the pages on the right show: the highlighted one while
    // the results are shown; null otherwise.
    const SearchHit* highlightedResult() const;
    // Highlights result `row` (-1: none) and shows it in the list and on the map.
    void highlight(int row);
    // The selected results in list order (the highlighted one when none is
    // selected).
    std::vector<SearchHit> selectedResults() const;
    // "Copy paths": the selected results' files on the clipboard, as the
    // tree's "Copy path" puts them. With every row selected while the rest
    // of the list is still to come, the whole list's, once it is here.
    void copyPaths();
    // "Export list...": asks for a file (askExportFile) and writes every
    // result to it as CSV off the window's thread; exported() tells the end.
    void exportList();
    // Writes the whole list to `file` off the window's thread, once the
    // rest of the list is here when it is still to come.
    void exportListTo(const QString& file);
    // The save dialog of "Export list..."; returns "" when cancelled. Tests
    // may replace it.
    std::function<QString(const QString& suggested)> askExportFile;

    QLineEdit* edSearch;
    QToolButton* btPlace;
    QWidget* pnlPlace;
    QLineEdit* edWest;
    QLineEdit* edEast;
    QLineEdit* edSouth;
    QLineEdit* edNorth;
    WorldMap* mapWorld;
    QLabel* stSearch;
    QListView* lvResults;
    SearchResultsModel* resultsModel;
    QStackedWidget* stkLeft;
    QMenu* popResults;
    QAction* mnuCopyPaths;
    QAction* mnuExportList;

signals:
    // The words or the extent changed (after a short pause in typing).
    void queryChanged();
    // A result was chosen to be revealed in the tree (Enter, double click).
    void resultChosen(const SearchHit& hit);
    // What the pages on the right should show changed: another result was
    // highlighted, or the results gave way to the tree.
    void viewedChanged();
    // An export ended: `error` empty on success.
    void exported(const QString& file, int count, const QString& error);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void edited();
    void choose(const QModelIndex& index);
    void currentChanged();
    // The results' place back to the tree, answers still awaited.
    void backToTree();
    bool allRowsSelected() const;
    // The list shown is whole: the copy and exports that waited for it are
    // done, or told `error` when it could not be read whole.
    void listWhole(const QString& error);

    QWidget* m_tree;
    QTimer* m_pause;
    QString m_indexStatus;
    int m_answers = 0;
    std::string m_keepInRest; // the data set to highlight again when the rest of the list comes
    std::string m_viewed; // the result the pages were last told to show, "" for the tree's selection
    SearchQuery m_listQuery;   // what the rows shown answer
    bool m_restPending = false; // the rest of the list shown is still to come
    bool m_copyWaiting = false; // "Copy paths" of every row waits for the rest
    QStringList m_exportsWaiting; // files "Export list..." writes once the rest is here
    WorkerPool m_exportPool{QStringLiteral("list exports"), 1}; // writes exported lists
};
