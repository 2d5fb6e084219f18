#pragma once
// The search pane of the main window's left side: a search field above the
// tree, an optional extent (four numbers or a rectangle dragged on the
// world map), and the results, which take the tree's place while shown.
// It only shows and asks: the window runs the searches.
#include <QWidget>
#include <vector>

#include "model/SearchService.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QStackedWidget;
class QTimer;
class QToolButton;
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
    // shown as it stands.
    void showAnswer(const SearchAnswer& answer, bool updating);
    // The tree again, as it was; the field keeps its text.
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

    QLineEdit* edSearch;
    QToolButton* btPlace;
    QWidget* pnlPlace;
    QLineEdit* edWest;
    QLineEdit* edEast;
    QLineEdit* edSouth;
    QLineEdit* edNorth;
    WorldMap* mapWorld;
    QLabel* stSearch;
    QListWidget* lvResults;
    QStackedWidget* stkLeft;

signals:
    // The words or the extent changed (after a short pause in typing).
    void queryChanged();
    // A result was chosen (click, Enter).
    void resultChosen(const SearchHit& hit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void edited();
    void choose(QListWidgetItem* item);

    QWidget* m_tree;
    QTimer* m_pause;
    std::vector<SearchHit> m_hits; // in list order
    QString m_indexStatus;
    int m_answers = 0;
};
