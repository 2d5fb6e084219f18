#include "app/SearchPane.h"

#include <QDoubleValidator>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/CategoryIcons.h"
#include "support/PathOps.h"
#include "app/WorldMap.h"

namespace {

QLineEdit* coordinateField(QWidget* parent, const char* name, const QString& hint, double limit)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setPlaceholderText(hint);
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

} // namespace

SearchPane::SearchPane(QWidget* tree, QWidget* parent) : QWidget(parent), m_tree(tree)
{
    setObjectName(QStringLiteral("pnlSearch"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    auto* row = new QHBoxLayout();
    row->setContentsMargins(2, 2, 2, 0);
    edSearch = new QLineEdit(this);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    edSearch->setPlaceholderText(QStringLiteral("Find data sets (Ctrl+F)"));
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
    edWest = coordinateField(pnlPlace, "edWest", QStringLiteral("west"), 180);
    edEast = coordinateField(pnlPlace, "edEast", QStringLiteral("east"), 180);
    edSouth = coordinateField(pnlPlace, "edSouth", QStringLiteral("south"), 90);
    edNorth = coordinateField(pnlPlace, "edNorth", QStringLiteral("north"), 90);
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
    lvResults = new QListWidget(stkLeft);
    lvResults->setObjectName(QStringLiteral("lvResults"));
    lvResults->setUniformItemSizes(true);
    stkLeft->addWidget(tree);
    stkLeft->addWidget(lvResults);
    layout->addWidget(stkLeft, 1);

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
    connect(lvResults, &QListWidget::itemActivated, this, &SearchPane::choose);
    connect(lvResults, &QListWidget::itemClicked, this, &SearchPane::choose);
    edSearch->installEventFilter(this);
    lvResults->installEventFilter(this);
}

bool SearchPane::query(SearchQuery& q) const
{
    q.words = edSearch->text();
    double w, e, s, n;
    q.hasExtent = btPlace->isChecked() && number(edWest, w) && number(edEast, e) && number(edSouth, s) &&
                  number(edNorth, n) && s <= n && w >= -180 && e <= 180 && s >= -90 && n <= 90;
    if (q.hasExtent) {
        q.west = w, q.east = e, q.south = s, q.north = n;
    }
    return q.hasExtent || !SearchIndex::matchExpression(q.words).isEmpty();
}

void SearchPane::edited()
{
    SearchQuery q;
    const bool asks = query(q);
    if (q.hasExtent)
        mapWorld->setExtent(QRectF(q.west, q.south, q.east - q.west, q.north - q.south));
    else
        mapWorld->setExtent(std::nullopt);
    if (!asks) {
        m_pause->stop();
        showTree();
        return;
    }
    m_pause->start();
}

void SearchPane::showAnswer(const SearchAnswer& answer, bool updating)
{
    m_hits = answer.hits;
    lvResults->clear();
    std::vector<QRectF> boxes;
    for (const SearchHit& h : m_hits) {
        const QString name = DecodeFileName(ExtractFileName(ExcludeTrailingPathDelimiter(h.path)));
        const QString title = h.title.isEmpty() ? name : h.title;
        auto* item = new QListWidgetItem(categoryIcon(h.category), title + QStringLiteral("  \u2014  ") + h.relPath);
        item->setToolTip(h.relPath);
        lvResults->addItem(item);
        if (h.hasExtent)
            boxes.emplace_back(h.west, h.south, h.east - h.west, h.north - h.south);
    }
    mapWorld->setBoxes(std::move(boxes));
    QString status;
    if (!answer.error.isEmpty())
        status = answer.error;
    else if (m_hits.empty())
        status = QStringLiteral("No data set found");
    else if (answer.more)
        status = QStringLiteral("More than %1 data sets found: the first %1 are shown").arg(m_hits.size());
    else
        status = QStringLiteral("%1 data set%2 found").arg(m_hits.size()).arg(m_hits.size() == 1 ? "" : "s");
    // "Still being built" only while an update really runs: an index whose
    // build stopped (cancelled, a full disk, a folder that may not be
    // written) is only incomplete.
    if (answer.error.isEmpty() && !answer.complete)
        status += updating ? QStringLiteral(" \u2014 the index is still being built: %1 data sets indexed so far")
                                 .arg(answer.indexed)
                           : QStringLiteral(" \u2014 the index is incomplete: %1 data sets indexed").arg(answer.indexed);
    else if (answer.error.isEmpty() && updating)
        status += QStringLiteral(" \u2014 the index is being brought up to date");
    stSearch->setText(status);
    stSearch->setVisible(true);
    stkLeft->setCurrentWidget(lvResults);
    ++m_answers;
}

void SearchPane::showTree()
{
    stkLeft->setCurrentWidget(m_tree);
    stSearch->setText(m_indexStatus);
    stSearch->setVisible(!m_indexStatus.isEmpty());
    mapWorld->setBoxes({});
}

bool SearchPane::resultsShown() const
{
    return stkLeft->currentWidget() == lvResults;
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
    m_hits.clear();
    lvResults->clear();
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

void SearchPane::choose(QListWidgetItem* item)
{
    const int row = lvResults->row(item);
    if (row < 0 || row >= int(m_hits.size()))
        return;
    const SearchHit hit = m_hits[size_t(row)];
    showTree();
    emit resultChosen(hit);
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
        if (watched == edSearch && key->key() == Qt::Key_Down && resultsShown() && lvResults->count() > 0) {
            lvResults->setFocus();
            lvResults->setCurrentRow(0);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
