#include "app/SearchPane.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDoubleValidator>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <tuple>

#include "app/HandOver.h"
#include "app/SearchResultDelegate.h"
#include "app/SearchResults.h"
#include "app/WorldMap.h"
#include "model/SearchExport.h"
#include "model/SearchText.h"

namespace {

QLineEdit* coordinateField(QWidget* parent, const char* name, const QString& hint, const QString& spoken,
                           double limit)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setPlaceholderText(hint);
    // A screen reader says what the field asks for, not "edit text".
    e->setAccessibleName(spoken);
    auto* v = new QDoubleValidator(-limit, limit, 6, e);
    v->setNotation(QDoubleValidator::StandardNotation);
    v->setLocale(QLocale::c());
    e->setValidator(v);
    return e;
}

bool number(const QLineEdit* e, double& value)
{
    bool ok = false;
    value = QLocale::c().toDouble(e->text().trimmed(), &ok);
    return ok;
}

QString countOf(qsizetype n, const char* one, const char* many)
{
    return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

// Whether two queries ask for the same list (whatever part of it).
bool sameList(const SearchQuery& a, const SearchQuery& b)
{
    const auto box = [](const std::optional<GeoBox>& g) {
        return g ? std::optional(std::tuple(g->west, g->east, g->south, g->north)) : std::nullopt;
    };
    return a.words == b.words && box(a.extent) == box(b.extent) && a.categories == b.categories && a.limit == b.limit;
}

} // namespace

SearchPane::SearchPane(QWidget* tree, QWidget* parent) : QWidget(parent), m_tree(tree)
{
    setObjectName(QStringLiteral("pnlSearch"));
    m_exportPool.setGrace(3000); // an export in flight when the window closes may still end
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    auto* row = new QHBoxLayout();
    row->setContentsMargins(2, 2, 2, 0);
    edSearch = new QLineEdit(this);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    edSearch->setPlaceholderText(QStringLiteral("Find data sets (Ctrl+F)"));
    edSearch->setAccessibleName(QStringLiteral("Find data sets"));
    edSearch->setAccessibleDescription(
        QStringLiteral("Words of the title, abstract, keywords, places, originator or file name; every word must match"));
    edSearch->setClearButtonEnabled(true);
    btPlace = new QToolButton(this);
    btPlace->setObjectName(QStringLiteral("btPlace"));
    btPlace->setText(QStringLiteral("&Place"));
    btPlace->setCheckable(true);
    btPlace->setToolTip(QStringLiteral("Search by place: an extent in degrees, or a rectangle on the map"));
    row->addWidget(edSearch, 1);
    row->addWidget(btPlace);
    layout->addLayout(row);

    pnlPlace = new QWidget(this);
    pnlPlace->setObjectName(QStringLiteral("pnlPlace"));
    auto* place = new QGridLayout(pnlPlace);
    place->setContentsMargins(2, 0, 2, 0);
    edWest = coordinateField(pnlPlace, "edWest", QStringLiteral("west"), QStringLiteral("West longitude, degrees"), 180);
    edEast = coordinateField(pnlPlace, "edEast", QStringLiteral("east"), QStringLiteral("East longitude, degrees"), 180);
    edSouth = coordinateField(pnlPlace, "edSouth", QStringLiteral("south"), QStringLiteral("South latitude, degrees"), 90);
    edNorth = coordinateField(pnlPlace, "edNorth", QStringLiteral("north"), QStringLiteral("North latitude, degrees"), 90);
    place->addWidget(edWest, 0, 0);
    place->addWidget(edEast, 0, 1);
    place->addWidget(edSouth, 0, 2);
    place->addWidget(edNorth, 0, 3);
    mapWorld = new WorldMap(pnlPlace);
    mapWorld->setObjectName(QStringLiteral("mapWorld"));
    place->addWidget(mapWorld, 1, 0, 1, 4);
    pnlPlace->setVisible(false);
    layout->addWidget(pnlPlace);

    stSearch = new QLabel(this);
    stSearch->setObjectName(QStringLiteral("stSearch"));
    stSearch->setWordWrap(true);
    stSearch->setContentsMargins(4, 0, 4, 0);
    stSearch->setVisible(false);
    layout->addWidget(stSearch);

    stkLeft = new QStackedWidget(this);
    stkLeft->setObjectName(QStringLiteral("stkLeft"));
    resultsModel = new SearchResultsModel(this);
    lvResults = new QListView(stkLeft);
    lvResults->setObjectName(QStringLiteral("lvResults"));
    lvResults->setAccessibleName(QStringLiteral("Data sets found"));
    lvResults->setModel(resultsModel);
    lvResults->setItemDelegate(new SearchResultDelegate(lvResults));
    lvResults->setUniformItemSizes(true);
    lvResults->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvResults->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lvResults->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Results leave by drag as the tree's nodes do; nothing is dropped in.
    lvResults->setDragEnabled(true);
    lvResults->setDragDropMode(QAbstractItemView::DragOnly);
    lvResults->setDefaultDropAction(Qt::CopyAction);
    lvResults->setContextMenuPolicy(Qt::CustomContextMenu);
    stkLeft->addWidget(tree);
    stkLeft->addWidget(lvResults);
    layout->addWidget(stkLeft, 1);

    popResults = new QMenu(this);
    popResults->setObjectName(QStringLiteral("popResults"));
    mnuCopyPaths = popResults->addAction(QStringLiteral("&Copy paths"), this, &SearchPane::copyPaths);
    mnuCopyPaths->setObjectName(QStringLiteral("mnuCopyPaths"));
    mnuCopyPaths->setShortcut(QKeySequence::Copy);
    mnuCopyPaths->setShortcutContext(Qt::WidgetShortcut);
    mnuExportList = popResults->addAction(QStringLiteral("&Export list..."), this, &SearchPane::exportList);
    mnuExportList->setObjectName(QStringLiteral("mnuExportList"));
    // The shortcut works while the list has the focus.
    lvResults->addAction(mnuCopyPaths);
    connect(lvResults, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        mnuCopyPaths->setEnabled(!selectedResults().empty());
        mnuExportList->setEnabled(!results().empty());
        popResults->popup(lvResults->viewport()->mapToGlobal(at));
    });

    askExportFile = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Export list"), suggested,
                                            QStringLiteral("CSV files (*.csv);;All files (*)"));
    };

    m_pause = new QTimer(this);
    m_pause->setSingleShot(true);
    m_pause->setInterval(150);
    connect(m_pause, &QTimer::timeout, this, &SearchPane::queryChanged);
    connect(edSearch, &QLineEdit::textEdited, this, &SearchPane::edited);
    // The clear button empties the field without an edit.
    connect(edSearch, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            edited();
    });
    connect(edSearch, &QLineEdit::returnPressed, this, [this] {
        m_pause->stop();
        emit queryChanged();
    });
    for (QLineEdit* e : {edWest, edEast, edSouth, edNorth})
        connect(e, &QLineEdit::textEdited, this, &SearchPane::edited);
    connect(btPlace, &QToolButton::toggled, this, [this](bool on) {
        pnlPlace->setVisible(on);
        edited();
    });
    connect(mapWorld, &WorldMap::extentPicked, this, [this](double w, double e, double s, double n) {
        const auto text = [](double v) { return QString::number(v, 'f', 2); };
        edWest->setText(text(w));
        edEast->setText(text(e));
        edSouth->setText(text(s));
        edNorth->setText(text(n));
        m_pause->stop();
        edited();
        m_pause->stop();
        emit queryChanged();
    });
    connect(mapWorld, &WorldMap::resultClicked, this, [this](int row) { highlight(row); });
    connect(lvResults, &QAbstractItemView::activated, this, &SearchPane::choose);
    connect(lvResults, &QAbstractItemView::doubleClicked, this, &SearchPane::choose);
    connect(lvResults->selectionModel(), &QItemSelectionModel::currentChanged, this, &SearchPane::currentChanged);
    edSearch->installEventFilter(this);
    lvResults->installEventFilter(this);
}

bool SearchPane::query(SearchQuery& q) const
{
    q.words = edSearch->text();
    double w, e, s, n;
    q.extent.reset();
    if (btPlace->isChecked() && number(edWest, w) && number(edEast, e) && number(edSouth, s) && number(edNorth, n) &&
        s <= n && w >= -180 && e <= 180 && s >= -90 && n <= 90)
        q.extent = GeoBox{w, e, s, n};
    return q.extent || !searchtext::queryTerms(q.words).empty();
}

void SearchPane::edited()
{
    SearchQuery q;
    const bool asks = query(q);
    mapWorld->setExtent(q.extent);
    if (!asks) {
        m_pause->stop();
        // Answers still to come are not shown (the window drops them).
        showTree();
        return;
    }
    m_pause->start();
}

void SearchPane::showAnswer(const SearchAnswer& answer, bool updating)
{
    // The rest of a list whose first page is shown (see SearchService).
    const bool rest = answer.query.from > 0;
    // What waited for the whole list of another search is not done on this one.
    if (!rest && !sameList(answer.query, m_listQuery))
        listWhole(QStringLiteral("another search replaced the list before it was read whole"));
    m_listQuery = answer.query;
    m_restPending = answer.restFollows;
    // Every row selected stays every row when the rest comes.
    const bool allSelected = rest && allRowsSelected();
    const int shownBefore = resultsModel->rowCount();
    // The highlighted data set stays highlighted when it is found again,
    // also when it is in the rest of the list.
    const SearchHit* before = highlightedResult();
    const std::string keep = rest ? std::exchange(m_keepInRest, {}) : before ? before->path : std::string();
    if (rest)
        resultsModel->appendHits(answer.hits);
    else
        resultsModel->setHits(answer.hits, answer.query.words);
    const std::vector<SearchHit>& hits = resultsModel->hits();
    std::vector<std::optional<GeoBox>> boxes;
    boxes.reserve(hits.size());
    int kept = -1;
    for (size_t i = 0; i < hits.size(); ++i) {
        boxes.push_back(hits[i].box);
        if (!keep.empty() && hits[i].path == keep)
            kept = int(i);
    }
    mapWorld->setBoxes(std::move(boxes));
    if (!answer.restFollows)
        ++m_answers;
    if (rest) {
        if (!answer.error.isEmpty())
            stSearch->setText(answer.error);
        QItemSelectionModel* selection = lvResults->selectionModel();
        if (allSelected && resultsModel->rowCount() > shownBefore)
            selection->select(QItemSelection(resultsModel->index(shownBefore), resultsModel->index(resultsModel->rowCount() - 1)),
                              QItemSelectionModel::Select);
        if (kept >= 0 && allSelected) {
            selection->setCurrentIndex(resultsModel->index(kept), QItemSelectionModel::NoUpdate);
            lvResults->scrollTo(resultsModel->index(kept));
        } else if (kept >= 0) {
            highlight(kept);
        }
        listWhole(answer.error);
        return;
    }
    m_keepInRest = kept < 0 && answer.restFollows ? keep : std::string();
    // The first page tells how long the whole list is.
    const qsizetype n = answer.error.isEmpty() ? std::max<qsizetype>(answer.found, qsizetype(hits.size())) : 0;
    QString status;
    if (!answer.error.isEmpty())
        status = answer.error;
    else if (n == 0)
        status = QStringLiteral("No data set found");
    else if (answer.more)
        status = QStringLiteral("More than %1 found: the first %1 are shown, best first")
                     .arg(countOf(n, "data set", "data sets"));
    else
        status = countOf(n, "data set found", "data sets found");
    // "Still being built" only while an update really runs: an index whose
    // build stopped (cancelled, a full disk, a folder that may not be
    // written) is only incomplete.
    if (answer.error.isEmpty() && !answer.complete)
        status += updating ? QStringLiteral(" \u2014 the index is still being built: %1 indexed so far")
                                 .arg(countOf(answer.indexed, "data set", "data sets"))
                           : QStringLiteral(" \u2014 the index is incomplete: %1 indexed")
                                 .arg(countOf(answer.indexed, "data set", "data sets"));
    else if (answer.error.isEmpty() && updating)
        status += QStringLiteral(" \u2014 the index is being brought up to date");
    // Which index answered, when it was not simply this window's own.
    if (!answer.source.isEmpty())
        status += QStringLiteral(" \u2014 ") + answer.source;
    stSearch->setText(status);
    stSearch->setVisible(true);
    stkLeft->setCurrentWidget(lvResults);
    highlight(kept);
    if (!m_restPending)
        listWhole(answer.error);
}

void SearchPane::showTree()
{
    m_restPending = false;
    listWhole(QStringLiteral("the search was closed before its whole list was read"));
    backToTree();
}

void SearchPane::backToTree()
{
    stkLeft->setCurrentWidget(m_tree);
    stSearch->setText(m_indexStatus);
    stSearch->setVisible(!m_indexStatus.isEmpty());
    mapWorld->setBoxes({});
    currentChanged();
}

bool SearchPane::resultsShown() const
{
    return stkLeft->currentWidget() == lvResults;
}

const std::vector<SearchHit>& SearchPane::results() const
{
    return resultsModel->hits();
}

const SearchHit* SearchPane::highlightedResult() const
{
    if (!resultsShown())
        return nullptr;
    return resultsModel->hit(lvResults->currentIndex().row());
}

void SearchPane::highlight(int row)
{
    const QModelIndex index = resultsModel->index(row, 0);
    if (!index.isValid()) {
        lvResults->selectionModel()->clear();
        currentChanged();
        return;
    }
    lvResults->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    lvResults->scrollTo(index);
}

bool SearchPane::allRowsSelected() const
{
    const int rows = resultsModel->rowCount();
    return rows > 0 && lvResults->selectionModel()->selectedRows().size() == rows;
}

std::vector<SearchHit> SearchPane::selectedResults() const
{
    std::vector<SearchHit> hits;
    QModelIndexList rows = lvResults->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& i : rows)
        if (const SearchHit* h = resultsModel->hit(i.row()))
            hits.push_back(*h);
    if (hits.empty())
        if (const SearchHit* h = highlightedResult())
            hits.push_back(*h);
    return hits;
}

void SearchPane::copyPaths()
{
    if (m_restPending && allRowsSelected()) {
        m_copyWaiting = true;
        return;
    }
    std::vector<std::string> paths;
    for (const SearchHit& h : selectedResults())
        paths.push_back(resultPath(h));
    if (!paths.empty())
        QApplication::clipboard()->setMimeData(handOverMimeData(paths));
}

void SearchPane::exportList()
{
    if (results().empty())
        return;
    const QString file = askExportFile ? askExportFile(QDir::homePath() + QStringLiteral("/data sets found.csv")) : QString();
    if (!file.isEmpty())
        exportListTo(file);
}

void SearchPane::exportListTo(const QString& file)
{
    if (m_restPending) {
        m_exportsWaiting << file;
        return;
    }
    // The file may lie on a share that is slow to answer: written on a
    // worker, the answer comes back to this pane's thread.
    auto* job = runInBackground<QString>(m_exportPool, this, [file, hits = results()](QPromise<QString>& promise) {
        QString error;
        writeResultsCsv(hits, file, error);
        promise.addResult(error);
    });
    job->onResult([this, file, count = int(results().size())](const QString& error) {
        emit exported(file, count, error);
    });
}

void SearchPane::listWhole(const QString& error)
{
    const QStringList files = std::exchange(m_exportsWaiting, {});
    // A copy that cannot be whole is not made: the status line tells why.
    if (std::exchange(m_copyWaiting, false) && error.isEmpty())
        copyPaths();
    for (const QString& file : files) {
        if (error.isEmpty())
            exportListTo(file);
        else
            emit exported(file, 0, error);
    }
}

void SearchPane::focusField()
{
    edSearch->setFocus(Qt::ShortcutFocusReason);
    edSearch->selectAll();
}

void SearchPane::clearSearch()
{
    m_pause->stop();
    edSearch->clear();
    for (QLineEdit* e : {edWest, edEast, edSouth, edNorth})
        e->clear();
    mapWorld->setExtent(std::nullopt);
    resultsModel->clear();
    showTree();
    m_pause->stop();
}

void SearchPane::setIndexStatus(const QString& text)
{
    m_indexStatus = text;
    if (!resultsShown()) {
        stSearch->setText(text);
        stSearch->setVisible(!text.isEmpty());
    }
}

void SearchPane::choose(const QModelIndex& index)
{
    const SearchHit* h = resultsModel->hit(index.row());
    if (!h)
        return;
    const SearchHit hit = *h;
    // The rest of the list still comes (and what waits for it is done).
    backToTree();
    emit resultChosen(hit);
}

void SearchPane::currentChanged()
{
    mapWorld->setHighlighted(resultsShown() ? lvResults->currentIndex().row() : -1);
    // Told only when the data set to show changes (a new answer often has
    // the same one highlighted, or none, as the last).
    const SearchHit* h = highlightedResult();
    const std::string viewed = h ? h->xmlPath + '\0' + h->path : std::string();
    if (viewed == m_viewed)
        return;
    m_viewed = viewed;
    emit viewedChanged();
}

bool SearchPane::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            clearSearch();
            edSearch->setFocus();
            return true;
        }
        // Down from the field walks into the results.
        if (watched == edSearch && key->key() == Qt::Key_Down && resultsShown() && resultsModel->rowCount() > 0) {
            lvResults->setFocus();
            highlight(0);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
