#include "app/SearchResults.h"

#include <QDateTime>
#include <QMimeData>

#include <algorithm>
#include <set>
#include <unordered_set>

#include "app/Accessibility.h"
#include "app/CategoryIcons.h"
#include "app/HandOver.h"
#include "model/SearchExport.h"
#include "support/PathOps.h"

namespace {

QString folderOf(const QString& relPath)
{
    QString rel = relPath;
    if (rel.endsWith(QLatin1Char('/')))
        rel.chop(1);
    const qsizetype slash = rel.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : rel.left(slash + 1);
}

QString dateOf(const SearchHit& hit)
{
    if (!hit.date.isEmpty())
        return hit.date;
    if (hit.mtime < 0)
        return {};
    return QDateTime::fromMSecsSinceEpoch(hit.mtime / 1000000).toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace

SearchResultsModel::SearchResultsModel(QObject* parent) : QAbstractListModel(parent) {}

void SearchResultsModel::setHits(std::vector<SearchHit> hits, const QString& words)
{
    beginResetModel();
    m_hits = std::move(hits);
    m_terms = searchtext::queryTerms(words);
    m_shown.assign(m_hits.size(), std::nullopt);
    endResetModel();
}

void SearchResultsModel::appendHits(std::vector<SearchHit> hits)
{
    std::unordered_set<std::string> held;
    for (const SearchHit& h : m_hits)
        held.insert(h.path);
    std::erase_if(hits, [&](const SearchHit& h) { return !held.insert(h.path).second; });
    if (hits.empty())
        return;
    const int first = int(m_hits.size());
    beginInsertRows({}, first, first + int(hits.size()) - 1);
    m_hits.insert(m_hits.end(), std::make_move_iterator(hits.begin()), std::make_move_iterator(hits.end()));
    m_shown.resize(m_hits.size());
    endInsertRows();
}

void SearchResultsModel::clear()
{
    setHits({}, {});
}

const SearchHit* SearchResultsModel::hit(int row) const
{
    return row >= 0 && size_t(row) < m_hits.size() ? &m_hits[size_t(row)] : nullptr;
}

QString SearchResultsModel::titleOf(const SearchHit& hit)
{
    if (!hit.title.trimmed().isEmpty())
        return hit.title.simplified();
    return DecodeFileName(ExtractFileName(ExcludeTrailingPathDelimiter(hit.path)));
}

const SearchResultsModel::Shown& SearchResultsModel::shown(int row) const
{
    std::optional<Shown>& s = m_shown[size_t(row)];
    if (!s) {
        const SearchHit& h = m_hits[size_t(row)];
        s.emplace();
        s->title = titleOf(h);
        s->titleMarks = searchtext::matchedSpans(s->title, m_terms);
        s->snippet = makeSnippet(h, m_terms);
    }
    return *s;
}

int SearchResultsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_hits.size());
}

QVariant SearchResultsModel::data(const QModelIndex& index, int role) const
{
    const SearchHit* h = index.isValid() ? hit(index.row()) : nullptr;
    if (!h)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return shown(index.row()).title;
    case Qt::DecorationRole:
        return categoryIcon(h->category);
    case Qt::ToolTipRole:
        return h->relPath;
    case Qt::AccessibleTextRole: {
        const QString folder = folderOf(h->relPath);
        QString text = shown(index.row()).title + QStringLiteral(", ") + categoryDescription(h->category);
        if (!folder.isEmpty())
            text += QStringLiteral(", in ") + folder;
        const QString date = dateOf(*h);
        if (!date.isEmpty())
            text += QStringLiteral(", ") + date;
        return text;
    }
    case Qt::AccessibleDescriptionRole:
        return shown(index.row()).snippet.text;
    case FolderRole:
        return folderOf(h->relPath);
    case DateRole:
        return dateOf(*h);
    case TitleMarksRole:
        return QVariant::fromValue(shown(index.row()).titleMarks);
    case SnippetRole:
        return QVariant::fromValue(shown(index.row()).snippet);
    case CategoryRole:
        return int(h->category);
    default:
        return {};
    }
}

Qt::ItemFlags SearchResultsModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QStringList SearchResultsModel::mimeTypes() const
{
    return handOverMimeTypes();
}

QMimeData* SearchResultsModel::mimeData(const QModelIndexList& indexes) const
{
    std::set<int> rows;
    for (const QModelIndex& i : indexes)
        if (hit(i.row()))
            rows.insert(i.row());
    std::vector<std::string> paths;
    for (int row : rows)
        paths.push_back(resultPath(m_hits[size_t(row)]));
    return handOverMimeData(paths);
}
