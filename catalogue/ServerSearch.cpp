#include "catalogue/ServerSearch.h"

#include <QByteArray>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "catalogue/DataSetRows.h"
#include "catalogue/SearchRows.h"
#include "model/SearchText.h"
#include "model/SearchWords.h"
#include "support/PathOps.h"

namespace {

// The word columns, best first, with the columns that rank within them.
const char* const kWordColumns[] = {"TitleWords", "LabelWords", "TextWords"};
const char* const kLengthColumns[] = {"TitleLength", "LabelLength", "TextLength"};

// This thread's connection to the server of `settings`, opened when
// needed; dropped when it was lost, so that the next answer opens another.
// `reused`: whether it was open before.
ChartroomConnection& connectionTo(const ChartroomSettings& settings, bool& reused)
{
    thread_local std::map<std::string, std::unique_ptr<ChartroomConnection>> connections;
    const std::string key = settings.host + '\n' + std::to_string(settings.port) + '\n' + settings.database + '\n' +
                            settings.user + '\n' + std::to_string(settings.timeoutSeconds);
    std::unique_ptr<ChartroomConnection>& connection = connections[key];
    if (connection && !connection->isAlive())
        connection.reset();
    reused = connection != nullptr;
    if (!connection) {
        auto made = std::make_unique<ChartroomConnection>(settings);
        made->open();
        // Paths are ordered by all their bytes, not the first 1,024.
        made->execute("SET SESSION max_sort_length=8192");
        connection = std::move(made);
    }
    return *connection;
}

std::string categoryList(const QList<int>& categories)
{
    std::string list;
    for (int c : categories)
        if (c >= 0 && c <= 255)
            list += (list.empty() ? "" : ",") + std::to_string(c);
    return list;
}

// The condition that a box part of the data set meets `extent`.
std::string meets(const GeoBox& extent, const std::string& box)
{
    std::string condition;
    for (const GeoBox& part : extent.parts())
        condition += (condition.empty() ? "" : " OR ") + ("MBRIntersects(" + box + "," + BoxGeometry(part) + ")");
    return "(" + condition + ")";
}

struct Match {
    QByteArray key;
    QByteArray itemPath;
};

class Search {
public:
    Search(ChartroomConnection& connection, const SearchQuery& query, std::string root)
        : m_db(connection), m_query(query), m_root(std::move(root)), m_categories(categoryList(query.categories))
    {
    }

    // The keys of the first `wanted` data sets in rank order.
    std::vector<QByteArray> matchWords(const std::vector<searchtext::Term>& terms, size_t wanted)
    {
        std::string whole, begun;
        bool anyPrefix = false;
        for (const searchtext::Term& term : terms) {
            const std::string token = searchwords::serverToken(term.word).toStdString();
            whole += " +" + token;
            begun += " +" + token + (term.prefix ? "*" : "");
            anyPrefix = anyPrefix || term.prefix;
        }
        std::string extent;
        if (m_query.extent)
            extent = " AND EXISTS (SELECT 1 FROM SearchBoxes b WHERE b.DataSetKey=d.DataSetKey AND " +
                     meets(*m_query.extent, "b.Box") + ")";
        std::vector<QByteArray> found;
        std::unordered_set<std::string> seen;
        for (int row = 0; row < searchwords::kRows && found.size() < wanted; ++row) {
            for (int begins = 0; begins < 2 && found.size() < wanted; ++begins) {
                // Every level holds the ones before it: the limit covers them.
                if (begins && !anyPrefix)
                    continue;
                const std::string sql = std::string("SELECT d.DataSetKey FROM SearchDataSets d WHERE MATCH(d.") +
                                        kWordColumns[row] + ") AGAINST('" + (begins ? begun : whole) +
                                        "' IN BOOLEAN MODE) AND d.Category IN (" + m_categories + ")" + extent +
                                        " ORDER BY d." + kLengthColumns[row] + ", d.ItemPath LIMIT " +
                                        std::to_string(wanted - found.size() + seen.size());
                m_db.query(sql, [&](const QSqlQuery& q) {
                    QByteArray key = q.value(0).toByteArray();
                    if (found.size() < wanted && seen.insert(key.toStdString()).second)
                        found.push_back(std::move(key));
                });
            }
        }
        return found;
    }

    // The keys of the first `wanted` data sets whose box meets the extent,
    // best fit first (GeoBox::rankedFit, as the store's own index ranks),
    // ties in path order.
    std::vector<QByteArray> matchExtent(size_t wanted)
    {
        struct Candidate {
            double rank;
            QByteArray itemPath;
            QByteArray key;
        };
        std::vector<Candidate> candidates;
        std::unordered_set<std::string> seen;
        const GeoBox& asked = *m_query.extent;
        m_db.query("SELECT d.DataSetKey, d.ItemPath, d.West, d.East, d.South, d.North FROM SearchBoxes b JOIN "
                   "SearchDataSets d ON d.DataSetKey=b.DataSetKey WHERE " +
                       meets(asked, "b.Box") + " AND b.Category IN (" + m_categories + ")",
                   [&](const QSqlQuery& q) {
                       QByteArray key = q.value(0).toByteArray();
                       if (!seen.insert(key.toStdString()).second)
                           return; // both parts of a box met the extent
                       const GeoBox box{q.value(2).toDouble(), q.value(3).toDouble(), q.value(4).toDouble(),
                                        q.value(5).toDouble()};
                       candidates.push_back({box.rankedFit(asked), q.value(1).toByteArray(), std::move(key)});
                   });
        const auto better = [](const Candidate& a, const Candidate& b) {
            return a.rank != b.rank ? a.rank > b.rank : a.itemPath < b.itemPath;
        };
        const size_t keep = std::min(candidates.size(), wanted);
        std::partial_sort(candidates.begin(), candidates.begin() + ptrdiff_t(keep), candidates.end(), better);
        std::vector<QByteArray> keys;
        keys.reserve(keep);
        for (size_t i = 0; i < keep; ++i)
            keys.push_back(std::move(candidates[i].key));
        return keys;
    }

    // The rows of `keys`, in that order.
    std::vector<SearchHit> rows(const std::vector<QByteArray>& keys)
    {
        std::vector<SearchHit> hits;
        if (keys.empty())
            return hits;
        std::string list;
        for (const QByteArray& key : keys)
            list += (list.empty() ? "" : ",") + KeyLiteral(key.toStdString());
        std::unordered_map<std::string, SearchHit> byKey;
        m_db.query("SELECT DataSetKey, ItemPath, XmlPath, Category, Title, Date, MetadataTime, West, East, South, "
                   "North, Abstract, Purpose, Keywords, Places, Originator FROM SearchDataSets WHERE DataSetKey IN (" +
                       list + ")",
                   [&](const QSqlQuery& q) {
                       SearchHit h;
                       const std::string item = q.value(1).toByteArray().toStdString();
                       h.path = m_root + item;
                       h.xmlPath = m_root + q.value(2).toByteArray().toStdString();
                       h.relPath = QString::fromStdString(DecodeFileNameUtf8(item));
                       h.category = uint8_t(q.value(3).toInt());
                       h.title = q.value(4).toString();
                       h.date = q.value(5).toString();
                       h.mtime = q.value(6).toLongLong();
                       if (!q.value(7).isNull())
                           h.box = GeoBox{q.value(7).toDouble(), q.value(8).toDouble(), q.value(9).toDouble(),
                                          q.value(10).toDouble()};
                       h.abstract = q.value(11).toString();
                       h.purpose = q.value(12).toString();
                       h.keywords = q.value(13).toString();
                       h.places = q.value(14).toString();
                       h.originator = q.value(15).toString();
                       byKey.emplace(q.value(0).toByteArray().toStdString(), std::move(h));
                   });
        hits.reserve(keys.size());
        for (const QByteArray& key : keys) {
            // A row removed between the match and this read is left out.
            const auto it = byKey.find(key.toStdString());
            if (it != byKey.end())
                hits.push_back(std::move(it->second));
        }
        return hits;
    }

private:
    ChartroomConnection& m_db;
    const SearchQuery& m_query;
    const std::string m_root;
    const std::string m_categories;
};

} // namespace

QString TeamIndexSource(const std::string& host, const QDateTime& synced, const QDateTime& now)
{
    const QString head = QStringLiteral("Team index on %1").arg(QString::fromStdString(host));
    if (!synced.isValid())
        return head + QStringLiteral(", not synced yet");
    const QDateTime local = synced.toLocalTime();
    const QString format = local.date() == now.date() ? QStringLiteral("HH:mm") : QStringLiteral("yyyy-MM-dd HH:mm");
    return head + QStringLiteral(", synced ") + local.toString(format);
}

ServerSearch::ServerSearch(ChartroomSettings settings, std::string storeRoot)
    : m_settings(std::move(settings)), m_root(IncludeTrailingPathDelimiter(storeRoot))
{
}

SearchAnswer ServerSearch::answer(const SearchQuery& query) const
{
    // A connection kept from an earlier answer may have been dropped since
    // (its server restarted, a node of the cluster died): found dropped at
    // once, it is opened again, on the first server that answers. One that
    // stopped answering is not tried again, which would double the wait.
    for (int attempt = 0;; ++attempt) {
        bool reused = false;
        const auto started = std::chrono::steady_clock::now();
        try {
            return answerOn(connectionTo(m_settings, reused), query);
        } catch (const EChartroomConnectionLost& e) {
            if (attempt == 0 && reused &&
                std::chrono::steady_clock::now() - started < std::chrono::seconds(m_settings.timeoutSeconds) / 2)
                continue;
            return failedAnswer(query, e);
        } catch (const std::exception& e) {
            return failedAnswer(query, e);
        }
    }
}

SearchAnswer ServerSearch::failedAnswer(const SearchQuery& query, const std::exception& error)
{
    SearchAnswer answer;
    answer.query = query;
    answer.error = QString::fromUtf8(error.what());
    return answer;
}

SearchAnswer ServerSearch::answerOn(ChartroomConnection& connection, const SearchQuery& query) const
{
    SearchAnswer answer;
    answer.query = query;
    answer.complete = true;
    QDateTime synced;
    connection.query("SELECT Value FROM SearchInfo WHERE Name='synced'", [&](const QSqlQuery& q) {
        synced = QDateTime::fromString(q.value(0).toString(), Qt::ISODate);
    });
    // With several servers, the one that answered (host and port: the
    // nodes of a cluster may share a host).
    answer.source = TeamIndexSource(m_settings.otherHosts.empty() ? m_settings.host : connection.where(), synced,
                                    QDateTime::currentDateTime());
    const std::vector<searchtext::Term> terms = searchtext::queryTerms(query.words);
    if (query.limit <= 0 || query.categories.isEmpty() || (terms.empty() && !query.extent) ||
        categoryList(query.categories).empty())
        return answer;
    Search search(connection, query, m_root);
    // One more than asked tells whether the list is cut.
    const size_t wanted = size_t(query.limit) + 1;
    std::vector<QByteArray> keys = terms.empty() ? search.matchExtent(wanted) : search.matchWords(terms, wanted);
    answer.more = keys.size() > size_t(query.limit);
    if (answer.more)
        keys.resize(size_t(query.limit));
    answer.found = int(keys.size());
    const size_t from = std::min(keys.size(), size_t(std::max(query.from, 0)));
    const size_t to = from + std::min(keys.size() - from, size_t(std::max(query.count, 0)));
    answer.hits = search.rows(std::vector<QByteArray>(keys.begin() + ptrdiff_t(from), keys.begin() + ptrdiff_t(to)));
    return answer;
}
