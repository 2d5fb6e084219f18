#include "model/SearchIndex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include "support/Errors.h"
#include "support/PathOps.h"

namespace {

// Bumped whenever the schema or what is stored changes: an index of another
// format is rebuilt.
const QString kFormat = QStringLiteral("atlasdesk-search-1");

// SQLite's primary result codes (the low byte of an extended code).
enum SqliteCode : int {
    kPerm = 3,
    kBusy = 5,
    kLocked = 6,
    kReadOnly = 8,
    kCorrupt = 11,
    kFull = 13,
    kCantOpen = 14,
    kNotADatabase = 26,
};

IndexFault faultOf(const QSqlError& error)
{
    bool known = false;
    const int code = error.nativeErrorCode().toInt(&known) & 0xff;
    if (!known)
        return IndexFault::Failed;
    switch (code) {
    case kCorrupt:
    case kNotADatabase:
        return IndexFault::Damaged;
    case kBusy:
    case kLocked:
        return IndexFault::Locked;
    case kFull:
        return IndexFault::DiskFull;
    case kReadOnly:
    case kCantOpen:
    case kPerm:
        return IndexFault::Unwritable;
    default:
        return IndexFault::Failed;
    }
}

// SQLite's words for the error ("database disk image is malformed"), not
// the statement that met it.
[[noreturn]] void fail(const QSqlError& error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    throw SearchIndexError(faultOf(error), text.toStdString());
}

QSqlQuery run(QSqlDatabase& db, const QString& sql, const QVariantList& values = {})
{
    QSqlQuery q(db);
    // Rows are read once, in order: without this every row is also copied
    // into a cache of the query (a third of the time of reading 100,000).
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        fail(q.lastError());
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        fail(q.lastError());
    return q;
}

// After the last row of a read: a read that stopped at an error (a damaged
// page) must not pass for the end of the rows.
void checkRead(const QSqlQuery& q)
{
    if (q.lastError().isValid())
        fail(q.lastError());
}

// The first value of the first row; the statement is finished at once, so
// that no open read keeps a transaction alive.
QVariant scalar(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q = run(db, sql);
    QVariant value;
    if (q.next())
        value = q.value(0);
    else
        checkRead(q);
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

SearchIndex::SearchIndex(const QString& file, Access access, bool thoroughly, int lockWaitMs)
    : m_file(file),
      m_connection(QStringLiteral("search-") + QUuid::createUuid().toString(QUuid::WithoutBraces)),
      m_lockWaitMs(lockWaitMs),
      m_writer(access == Access::Write)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        throw SearchIndexError(IndexFault::Failed, "Qt's SQLite driver (QSQLITE) is not installed");
    if (!m_writer) {
        // Opening would create a missing file: only the indexer makes one.
        m_available = QFileInfo(file).isFile();
        if (m_available) {
            open();
            m_available = readable();
        }
        return;
    }
    QDir().mkpath(QFileInfo(file).absolutePath());
    open();
    m_rebuilt = prepareForWriting(thoroughly);
    if (m_rebuilt == Rebuilt::No)
        return;
    // A cache: whatever is there is thrown away and built again.
    close();
    discard(file);
    if (QFileInfo::exists(file))
        throw SearchIndexError(IndexFault::Unwritable, "the old index file cannot be removed");
    open();
    if (prepareForWriting(false) != Rebuilt::No)
        throw SearchIndexError(IndexFault::Failed, "a new index file cannot be made");
}

void SearchIndex::discard(const QString& file)
{
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(file + QLatin1String(suffix));
}

SearchIndex::~SearchIndex()
{
    if (m_writer && m_db.isOpen()) {
        // A batch that failed (a full disk) is undone, and its journal with it.
        if (m_inTransaction)
            QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
        // Closed as it should be; when this fails, the next writer checks
        // the file thoroughly, which is no harm.
        QSqlQuery(m_db).exec(QStringLiteral("INSERT OR REPLACE INTO meta VALUES('writing', '0')"));
    }
    close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

void SearchIndex::open(bool asItIs)
{
    if (!m_db.isValid())
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (asItIs) {
        // Read as it is: nothing is made beside the file (there is no room
        // for it), and nothing waits for locks nobody can take there.
        m_db.setDatabaseName(QUrl::fromLocalFile(m_file).toString(QUrl::FullyEncoded) + QStringLiteral("?immutable=1"));
        m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    } else {
        m_db.setDatabaseName(m_file);
        // A writer holds its lock only for a commit; readers wait that long.
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_lockWaitMs));
    }
    if (!m_db.open())
        fail(m_db.lastError());
    // Every search opens its own connection: the file is mapped into memory
    // so that such a connection reads its pages without a system call each.
    QSqlQuery(m_db).exec(QStringLiteral("PRAGMA mmap_size = 1073741824"));
    QSqlQuery(m_db).exec(QStringLiteral("PRAGMA cache_size = -16384"));
}

void SearchIndex::close()
{
    m_statements.clear();
    m_db.close();
    m_inTransaction = false;
}

bool SearchIndex::readable()
{
    const auto probe = [this] {
        if (scalar(m_db, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'meta'")).toInt() == 0)
            return false; // being created, or not an index
        return scalar(m_db, QStringLiteral("SELECT value FROM meta WHERE key = 'format'")).toString() == kFormat;
    };
    try {
        return probe();
    } catch (const SearchIndexError& e) {
        if (e.fault() != IndexFault::Unwritable)
            throw;
    }
    // An index kept with a write-ahead log (by an earlier version) cannot be
    // read without files beside it, which a folder that may not be written
    // refuses. Nobody can change it there either: it is read as it is.
    close();
    open(true);
    return probe();
}

SearchIndex::Rebuilt SearchIndex::prepareForWriting(bool thoroughly)
{
    try {
        if (scalar(m_db, QStringLiteral("SELECT count(*) FROM sqlite_master")).toInt() == 0)
            createSchema();
        if (scalar(m_db, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'meta'")).toInt() == 0 ||
            scalar(m_db, QStringLiteral("SELECT value FROM meta WHERE key = 'format'")).toString() != kFormat)
            return Rebuilt::OtherFormat;
        const bool killed =
            scalar(m_db, QStringLiteral("SELECT value FROM meta WHERE key = 'writing'")).toString() == QLatin1String("1");
        checkPages(thoroughly || killed);
        // A rollback journal, not a write-ahead log: a transaction that
        // fails (a full disk) leaves the file as it was and nothing beside
        // it, and the file can be read in a folder that may not be written.
        // A file kept with a log by an earlier version is changed over; while
        // another connection has it open, that waits for the next update.
        try {
            run(m_db, QStringLiteral("PRAGMA journal_mode=DELETE"));
        } catch (const SearchIndexError& e) {
            if (e.fault() != IndexFault::Locked)
                throw;
        }
        run(m_db, QStringLiteral("PRAGMA synchronous=NORMAL"));
        // Cleared when this connection closes: a writer that is killed
        // leaves it set, and the next one checks the whole file.
        run(m_db, QStringLiteral("INSERT OR REPLACE INTO meta VALUES('writing', '1')"));
    } catch (const SearchIndexError& e) {
        if (e.fault() == IndexFault::Damaged)
            return Rebuilt::Damaged;
        throw;
    }
    return Rebuilt::No;
}

void SearchIndex::checkPages(bool thoroughly)
{
    // Every page of the file, without comparing the indexes with their
    // tables: a tenth of a second for 100,000 data sets.
    const QString pages = scalar(m_db, QStringLiteral("PRAGMA quick_check")).toString();
    if (pages != QLatin1String("ok"))
        throw SearchIndexError(IndexFault::Damaged, pages.toStdString());
    if (!thoroughly)
        return;
    // The word index compared with its rows (a second or more on a large
    // index) and the extents' tree.
    run(m_db, QStringLiteral("INSERT INTO words(words) VALUES('integrity-check')"));
    const QString extents = scalar(m_db, QStringLiteral("SELECT rtreecheck('extents')")).toString();
    if (extents != QLatin1String("ok"))
        throw SearchIndexError(IndexFault::Damaged, extents.toStdString());
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
    run(m_db, QStringLiteral("INSERT INTO meta VALUES('format', ?), ('complete', '0'), ('writing', '0')"), {kFormat});
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
            fail(q.lastError());
        it = m_statements.insert(sql, q);
    }
    QSqlQuery& q = *it;
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values[i]);
    if (!q.exec())
        fail(q.lastError());
    return q;
}

std::unordered_map<std::string, IndexedFile> SearchIndex::indexedFiles()
{
    std::unordered_map<std::string, IndexedFile> files;
    QSqlQuery q = run(m_db, QStringLiteral("SELECT path, id, size, mtime FROM datasets"));
    while (q.next())
        files.emplace(stdString(q.value(0)),
                      IndexedFile{q.value(1).toLongLong(), q.value(2).toLongLong(), q.value(3).toLongLong()});
    checkRead(q);
    return files;
}

// As statements: QSqlDatabase's own transaction calls drop SQLite's error
// code, which tells a full disk from a lock.
void SearchIndex::begin()
{
    exec(QStringLiteral("BEGIN"));
    m_inTransaction = true;
}

void SearchIndex::commit()
{
    // A commit that fails may leave the transaction open: it stays marked
    // for the rollback.
    exec(QStringLiteral("COMMIT"));
    m_inTransaction = false;
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

qint64 SearchIndex::lastUpdate()
{
    if (!m_available)
        return 0;
    return scalar(m_db, QStringLiteral("SELECT value FROM meta WHERE key = 'updated'")).toLongLong();
}

void SearchIndex::setLastUpdate(qint64 msecsSinceEpoch)
{
    run(m_db, QStringLiteral("INSERT OR REPLACE INTO meta VALUES('updated', ?)"), {QString::number(msecsSinceEpoch)});
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
    checkRead(q);
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
    checkRead(q);
    return hits;
}
