#include "model/SearchIndex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include "support/Errors.h"
#include "support/PathOps.h"

namespace {

// Bumped whenever the schema or what is stored changes: an index of another
// format is rebuilt.
const QString kFormat = QStringLiteral("atlasdesk-search-1");

[[noreturn]] void fail(const QString& what, const QSqlError& error)
{
    throw Exception(QStringLiteral("Search index: %1: %2").arg(what, error.text()).toStdString());
}

QSqlQuery run(QSqlDatabase& db, const QString& sql, const QVariantList& values = {})
{
    QSqlQuery q(db);
    // Rows are read once, in order: without this every row is also copied
    // into a cache of the query (a third of the time of reading 100,000).
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        fail(sql, q.lastError());
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        fail(sql, q.lastError());
    return q;
}

// The first value of the first row; the statement is finished at once, so
// that no open read keeps a transaction alive.
QVariant scalar(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q = run(db, sql);
    const QVariant value = q.next() ? q.value(0) : QVariant();
    q.finish();
    return value;
}

QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

std::string stdString(const QVariant& v)
{
    const QByteArray b = v.toByteArray();
    return std::string(b.constData(), size_t(b.size()));
}

} // namespace

SearchIndex::SearchIndex(const QString& file, Access access)
    : m_file(file), m_connection(QStringLiteral("search-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        throw Exception("Search index: Qt's SQLite driver (QSQLITE) is not installed");
    QString reason;
    if (access == Access::Read) {
        // Opening would create a missing file: only the indexer makes one.
        m_available = QFileInfo(file).isFile();
        if (m_available) {
            open();
            m_available = usable(reason, false);
        }
        return;
    }
    QDir().mkpath(QFileInfo(file).absolutePath());
    open();
    if (!usable(reason, true)) {
        // A cache: whatever is there is thrown away and built again.
        m_db.close();
        discard(file);
        m_notice = QStringLiteral("The search index %1 was rebuilt: %2").arg(file, reason);
        open();
        if (!usable(reason, true))
            throw Exception(("Search index: cannot create " + file + ": " + reason).toStdString());
    }
}

void SearchIndex::discard(const QString& file)
{
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(file + QLatin1String(suffix));
}

SearchIndex::~SearchIndex()
{
    m_statements.clear();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

void SearchIndex::open()
{
    if (!m_db.isValid())
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setDatabaseName(m_file);
    // A writer holds its lock only for a commit; readers wait that long.
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!m_db.open())
        fail(QStringLiteral("cannot open ") + m_file, m_db.lastError());
    // Every search opens its own connection: the file is mapped into memory
    // so that such a connection reads its pages without a system call each.
    QSqlQuery(m_db).exec(QStringLiteral("PRAGMA mmap_size = 1073741824"));
    QSqlQuery(m_db).exec(QStringLiteral("PRAGMA cache_size = -16384"));
}

bool SearchIndex::usable(QString& reason, bool write)
{
    try {
        if (scalar(m_db, QStringLiteral("SELECT count(*) FROM sqlite_master")).toInt() == 0) {
            if (!write) {
                reason = QStringLiteral("it is being created");
                return false;
            }
            // Write-ahead logging lets searches read while the indexer writes.
            run(m_db, QStringLiteral("PRAGMA journal_mode=WAL"));
            createSchema();
        }
        const QString found = scalar(m_db, QStringLiteral("SELECT value FROM meta WHERE key = 'format'")).toString();
        if (found != kFormat) {
            reason = QStringLiteral("it was written in another format (%1)")
                         .arg(found.isEmpty() ? QStringLiteral("unknown") : found);
            return false;
        }
        if (!write)
            return true;
        run(m_db, QStringLiteral("PRAGMA journal_mode=WAL"));
        run(m_db, QStringLiteral("PRAGMA synchronous=NORMAL"));
        // Damage deeper in the file shows as an error while the update
        // works; the indexer then rebuilds (see updateStoreIndex). A check
        // of the whole file here would read all of it at every connect.
        return true;
    } catch (const Exception& e) {
        reason = QString::fromUtf8(e.what());
        return false;
    }
}

void SearchIndex::createSchema()
{
    // Taken at once: two writers never both create the tables.
    exec(QStringLiteral("BEGIN IMMEDIATE"));
    if (scalar(m_db, QStringLiteral("SELECT count(*) FROM sqlite_master")).toInt() > 0) {
        exec(QStringLiteral("COMMIT")); // another writer was first
        return;
    }
    exec(QStringLiteral("CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT)"));
    // No index on the path: nothing looks a data set up by it (an update
    // reads every row once), one update writes at a time (see
    // updateStoreIndex) and a walk meets each path once. Keeping one cost
    // a fifth of the writing and a twelfth of the file.
    exec(QStringLiteral(
        "CREATE TABLE datasets(id INTEGER PRIMARY KEY, path BLOB NOT NULL, xml BLOB NOT NULL, "
        "rel TEXT NOT NULL, category INTEGER NOT NULL, title TEXT NOT NULL, size INTEGER NOT NULL, "
        "mtime INTEGER NOT NULL, error TEXT)"));
    // Words: accents and letter case folded; prefix queries need no more
    // than the column of each word, which keeps the index small.
    exec(QStringLiteral(
        "CREATE VIRTUAL TABLE words USING fts5(title, abstract, purpose, keywords, places, originator, "
        "filename, tokenize = 'unicode61 remove_diacritics 2', detail = column)"));
    exec(QStringLiteral("CREATE VIRTUAL TABLE extents USING rtree(id, west, east, south, north)"));
    run(m_db, QStringLiteral("INSERT INTO meta VALUES('format', ?), ('complete', '0')"), {kFormat});
    exec(QStringLiteral("COMMIT"));
}

void SearchIndex::exec(const QString& sql)
{
    run(m_db, sql);
}

QSqlQuery& SearchIndex::runPrepared(const QString& sql, const QVariantList& values)
{
    auto it = m_statements.find(sql);
    if (it == m_statements.end()) {
        QSqlQuery q(m_db);
        q.setForwardOnly(true);
        if (!q.prepare(sql))
            fail(sql, q.lastError());
        it = m_statements.insert(sql, q);
    }
    QSqlQuery& q = *it;
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values[i]);
    if (!q.exec())
        fail(sql, q.lastError());
    return q;
}

std::unordered_map<std::string, IndexedFile> SearchIndex::indexedFiles()
{
    std::unordered_map<std::string, IndexedFile> files;
    QSqlQuery q = run(m_db, QStringLiteral("SELECT path, id, size, mtime FROM datasets"));
    while (q.next())
        files.emplace(stdString(q.value(0)),
                      IndexedFile{q.value(1).toLongLong(), q.value(2).toLongLong(), q.value(3).toLongLong()});
    return files;
}

void SearchIndex::begin()
{
    if (!m_db.transaction())
        fail(QStringLiteral("begin"), m_db.lastError());
}

void SearchIndex::commit()
{
    if (!m_db.commit())
        fail(QStringLiteral("commit"), m_db.lastError());
}

void SearchIndex::put(int64_t id, const std::string& path, const std::string& xmlPath, const QString& relPath,
                      uint8_t category, int64_t size, int64_t mtime, const SearchFields* fields,
                      const QString& error)
{
    if (id != 0)
        remove(id);
    const SearchFields none;
    const SearchFields& f = fields ? *fields : none;
    QSqlQuery& row = runPrepared(
                        QStringLiteral("INSERT INTO datasets(path, xml, rel, category, title, size, mtime, error) "
                                       "VALUES(?, ?, ?, ?, ?, ?, ?, ?)"),
                        {bytes(path), bytes(xmlPath), relPath, int(category), f.title.isNull() ? QStringLiteral("") : f.title,
                         qlonglong(size), qlonglong(mtime), fields ? QVariant() : QVariant(error)});
    const qlonglong rowId = row.lastInsertId().toLongLong();
    QString fileName = DecodeFileName(ExtractFileName(ExcludeTrailingPathDelimiter(path)));
    runPrepared(QStringLiteral("INSERT INTO words(rowid, title, abstract, purpose, keywords, places, originator, filename) "
                             "VALUES(?, ?, ?, ?, ?, ?, ?, ?)"),
        {rowId, f.title, f.abstract, f.purpose, f.keywords, f.places, f.originator, fileName});
    if (f.hasExtent)
        runPrepared(QStringLiteral("INSERT INTO extents VALUES(?, ?, ?, ?, ?)"),
            {rowId, f.west, f.east, f.south, f.north});
}

void SearchIndex::remove(int64_t id)
{
    const QVariantList key{qlonglong(id)};
    runPrepared(QStringLiteral("DELETE FROM datasets WHERE id = ?"), key);
    runPrepared(QStringLiteral("DELETE FROM words WHERE rowid = ?"), key);
    runPrepared(QStringLiteral("DELETE FROM extents WHERE id = ?"), key);
}

bool SearchIndex::isComplete()
{
    if (!m_available)
        return false;
    return scalar(m_db, QStringLiteral("SELECT value FROM meta WHERE key = 'complete'")).toString() == QLatin1String("1");
}

void SearchIndex::setComplete(bool complete)
{
    run(m_db, QStringLiteral("UPDATE meta SET value = ? WHERE key = 'complete'"),
        {complete ? QStringLiteral("1") : QStringLiteral("0")});
}

int SearchIndex::datasetCount()
{
    if (!m_available)
        return 0;
    return scalar(m_db, QStringLiteral("SELECT count(*) FROM datasets")).toInt();
}

QStringList SearchIndex::unreadable()
{
    QStringList list;
    QSqlQuery q = run(m_db, QStringLiteral("SELECT rel, error FROM datasets WHERE error IS NOT NULL ORDER BY rel"));
    while (q.next())
        list << q.value(0).toString() + QStringLiteral(": ") + q.value(1).toString();
    return list;
}

QString SearchIndex::matchExpression(const QString& text)
{
    QStringList terms;
    QString word;
    auto flush = [&] {
        if (!word.isEmpty())
            terms << QLatin1Char('"') + word + QStringLiteral("\"*");
        word.clear();
    };
    for (const QChar c : text) {
        if (c.isLetterOrNumber() || c.isMark())
            word += c;
        else
            flush();
    }
    flush();
    return terms.join(QStringLiteral(" AND "));
}

std::vector<SearchHit> SearchIndex::search(const SearchQuery& query)
{
    std::vector<SearchHit> hits;
    const QString match = matchExpression(query.words);
    if (!m_available || (match.isEmpty() && !query.hasExtent))
        return hits;

    QStringList categories;
    for (int c : query.categories)
        categories << QString::number(c);
    if (categories.isEmpty())
        return hits;

    QVariantList values;
    QString where = QStringLiteral("d.category IN (%1)").arg(categories.join(QLatin1Char(',')));
    // A box that crosses the antimeridian is searched as its two halves.
    const bool crosses = query.hasExtent && query.west > query.east;
    const QString box = QStringLiteral("west <= ? AND east >= ? AND south <= ? AND north >= ?");
    if (query.hasExtent && (crosses || !match.isEmpty())) {
        where += QStringLiteral(" AND d.id IN (SELECT id FROM extents WHERE %1 UNION SELECT id FROM extents WHERE %1)")
                     .arg(box);
        values << (crosses ? 180.0 : query.east) << query.west << query.north << query.south
               << query.east << (crosses ? -180.0 : query.west) << query.north << query.south;
    }
    QString sql;
    const QString columns = QStringLiteral(
        "SELECT d.path, d.xml, d.rel, d.category, d.title, x.west, x.east, x.south, x.north ");
    if (!match.isEmpty()) {
        // Title matches first, then by path: a relevance score for every
        // match (bm25) cost more than the whole search on large stores.
        sql = columns + QStringLiteral(
                  "FROM words JOIN datasets d ON d.id = words.rowid LEFT JOIN extents x ON x.id = d.id "
                  "WHERE words MATCH ? AND ") + where +
              QStringLiteral(" ORDER BY d.id IN (SELECT rowid FROM words WHERE words MATCH ?) DESC, d.rel LIMIT ?");
        values.prepend(match);
        values << QStringLiteral("title : (%1)").arg(match);
    } else if (crosses) {
        sql = columns + QStringLiteral("FROM datasets d JOIN extents x ON x.id = d.id WHERE ") + where +
              QStringLiteral(" ORDER BY d.rel LIMIT ?");
    } else {
        // Driven by the R*Tree: only the boxes that meet the extent are read.
        sql = columns + QStringLiteral("FROM extents x JOIN datasets d ON d.id = x.id WHERE x.") +
              QString(box).replace(QStringLiteral(" AND "), QStringLiteral(" AND x.")) + QStringLiteral(" AND ") +
              where + QStringLiteral(" ORDER BY d.rel LIMIT ?");
        values << query.east << query.west << query.north << query.south;
    }
    values << query.limit;
    QSqlQuery q = run(m_db, sql, values);
    while (q.next()) {
        SearchHit h;
        h.path = stdString(q.value(0));
        h.xmlPath = stdString(q.value(1));
        h.relPath = q.value(2).toString();
        h.category = uint8_t(q.value(3).toInt());
        h.title = q.value(4).toString();
        h.hasExtent = !q.value(5).isNull();
        if (h.hasExtent) {
            h.west = q.value(5).toDouble();
            h.east = q.value(6).toDouble();
            h.south = q.value(7).toDouble();
            h.north = q.value(8).toDouble();
        }
        hits.push_back(std::move(h));
    }
    return hits;
}
