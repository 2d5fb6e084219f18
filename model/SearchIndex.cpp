#include "model/SearchIndex.h"

#include <QChar>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <utility>

#include "model/SearchText.h"
#include "model/SearchWords.h"
#include "support/Errors.h"
#include "support/PathOps.h"

namespace {

// Bumped whenever the schema or what is stored changes: an index of another
// format is rebuilt. The words depend on Unicode's tables as Qt has them.
QString formatName()
{
    return QStringLiteral("atlasdesk-search-2 (Unicode %1)").arg(int(QChar::currentUnicodeVersion()));
}

// The rows of a word table are numbered (bucket << kIdBits) | id: read in
// row order, the matches come shortest field first, then in path order.
constexpr int kIdBits = 58;
constexpr int64_t kIdMask = (int64_t(1) << kIdBits) - 1;

// The word tables, best first.
const char* const kWordTables[] = {"titles", "labels", "texts"};

// A category as a word of its own: a private-use character, which no text
// gives as a word.
QString categoryWord(int category)
{
    return QString(QChar(char16_t(0xE000 + category)));
}

// SQLite's words for an error of the driver (opening the file), with the
// kind of fault its code says.
[[noreturn]] void fail(const QSqlError& error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    bool known = false;
    const int code = error.nativeErrorCode().toInt(&known);
    throw SearchIndexError(known ? indexFaultOf(code) : IndexFault::Failed, text.toStdString());
}

// Resets a statement when its use ends: a statement left stepping would
// keep its read transaction (and an old view of the index) open.
struct Finished {
    SqliteStatement& statement;
    ~Finished() { statement.reset(); }
};

// Text as SQLite gives it back: what is tokenized when a row is written
// must be what is tokenized again when it is taken out.
QString stored(const QString& s)
{
    return s.isValidUtf16() ? s : QString::fromUtf8(s.toUtf8());
}

QString fileNameOf(const std::string& path)
{
    return DecodeFileName(ExtractFileName(ExcludeTrailingPathDelimiter(path)));
}

// The word rows of one data set (SearchWords.h), each with the data set's
// category as a word of its own.
searchwords::WordRows wordRows(const QString& fileName, uint8_t category, const SearchFields& f)
{
    searchwords::WordRows w = searchwords::wordRows(fileName, f);
    for (QString& t : w.text)
        t += QLatin1Char(' ') + categoryWord(category);
    return w;
}

int64_t wordRowId(const searchwords::WordRows& w, int table, int64_t id)
{
    return (int64_t(w.bucket(table)) << kIdBits) | id;
}

// The rows of the box table carry the data set, its category and the part.
int64_t boxId(int64_t id, uint8_t category, int part)
{
    return (id << 5) | (int64_t(category & 15) << 1) | part;
}

// One FTS5 string.
QString quoted(const QString& word)
{
    return QLatin1Char('"') + QString(word).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

// The FTS5 condition that keeps the categories asked for: the shorter of
// "one of these" and "none of those".
QString categoryCondition(const QList<int>& categories, bool& none)
{
    QStringList shown, hidden;
    for (int c = 0; c <= 15; ++c)
        (categories.contains(c) ? shown : hidden) << quoted(categoryWord(c));
    none = shown.isEmpty();
    if (hidden.isEmpty())
        return {};
    if (shown.size() <= hidden.size())
        return QStringLiteral(" AND (%1)").arg(shown.join(QStringLiteral(" OR ")));
    return QStringLiteral(" NOT (%1)").arg(hidden.join(QStringLiteral(" OR ")));
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
    if (m_writer && m_handle) {
        try {
            // A batch that failed (a full disk) is undone, and its journal
            // with it.
            if (m_inTransaction)
                sqliteExec(m_handle, "ROLLBACK");
            // Closed as it should be; when this fails, the next writer
            // checks the file thoroughly, which is no harm.
            statement(QStringLiteral("INSERT OR REPLACE INTO meta VALUES('writing', '0')")).run();
        } catch (const std::exception&) {
        }
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
    m_handle = sqliteHandle(m_db);
    // The file is mapped into memory, so that pages are read without a
    // system call each. Only a help: what keeps these from working (the
    // schema cannot be read yet) is met, and said, by what follows.
    try {
        sqliteExec(m_handle, "PRAGMA mmap_size = 4294967296; PRAGMA cache_size = -16384");
    } catch (const SearchIndexError&) {
    }
}

void SearchIndex::close()
{
    m_statements.clear();
    m_handle = nullptr;
    m_db.close();
    m_inTransaction = false;
}

SqliteStatement& SearchIndex::statement(const QString& sql)
{
    auto it = m_statements.find(sql);
    if (it == m_statements.end())
        it = m_statements.emplace(sql, std::make_unique<SqliteStatement>(m_handle, sql)).first;
    it->second->reset();
    return *it->second;
}

QString SearchIndex::metaValue(const char* key)
{
    SqliteStatement& q = statement(QStringLiteral("SELECT value FROM meta WHERE key = ?"));
    Finished done{q};
    q.bind(1, QString::fromLatin1(key));
    return q.next() ? q.text(0) : QString();
}

bool SearchIndex::readable()
{
    const auto probe = [this] {
        SqliteStatement meta(m_handle, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'meta'"));
        if (!meta.next() || meta.integer(0) == 0)
            return false; // being created, or not an index
        return metaValue("format") == formatName();
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
        {
            SqliteStatement tables(m_handle, QStringLiteral("SELECT count(*) FROM sqlite_master"));
            if (tables.next() && tables.integer(0) == 0) {
                tables.reset();
                createSchema();
            }
        }
        {
            SqliteStatement meta(m_handle, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'meta'"));
            if (!meta.next() || meta.integer(0) == 0)
                return Rebuilt::OtherFormat;
        }
        if (metaValue("format") != formatName())
            return Rebuilt::OtherFormat;
        const bool killed = metaValue("writing") == QLatin1String("1");
        checkPages(thoroughly || killed);
        // A rollback journal, not a write-ahead log: a transaction that
        // fails (a full disk) leaves the file as it was and nothing beside
        // it, and the file can be read in a folder that may not be written.
        // A file kept with a log by an earlier version is changed over; while
        // another connection has it open, that waits for the next update.
        try {
            sqliteExec(m_handle, "PRAGMA journal_mode=DELETE");
        } catch (const SearchIndexError& e) {
            if (e.fault() != IndexFault::Locked)
                throw;
        }
        sqliteExec(m_handle, "PRAGMA synchronous=NORMAL");
        // Cleared when this connection closes: a writer that is killed
        // leaves it set, and the next one checks the whole file.
        statement(QStringLiteral("INSERT OR REPLACE INTO meta VALUES('writing', '1')")).run();
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
    {
        SqliteStatement pages(m_handle, QStringLiteral("PRAGMA quick_check"));
        const QString result = pages.next() ? pages.text(0) : QString();
        if (result != QLatin1String("ok"))
            throw SearchIndexError(IndexFault::Damaged, result.toStdString());
    }
    if (!thoroughly)
        return;
    // The word indexes' structure (a second or more on a large index) and
    // the boxes' tree.
    for (const std::string table : kWordTables)
        sqliteExec(m_handle, ("INSERT INTO " + table + "(" + table + ") VALUES('integrity-check')").c_str());
    SqliteStatement boxes(m_handle, QStringLiteral("SELECT rtreecheck('boxes')"));
    const QString result = boxes.next() ? boxes.text(0) : QString();
    if (result != QLatin1String("ok"))
        throw SearchIndexError(IndexFault::Damaged, result.toStdString());
}

void SearchIndex::createSchema()
{
    // Taken at once: two writers never both create the tables.
    sqliteExec(m_handle, "BEGIN IMMEDIATE");
    SqliteStatement tables(m_handle, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    const bool empty = tables.next() && tables.integer(0) == 0;
    tables.reset();
    if (!empty) {
        sqliteExec(m_handle, "COMMIT"); // another writer was first
        return;
    }
    sqliteExec(m_handle, "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT)");
    // No index on the path: nothing looks a data set up by it (an update
    // reads every row once), one update writes at a time (see
    // updateStoreIndex) and a walk meets each path once. The id follows
    // the path's order (PathOrder.h). The longer texts live apart, so that
    // an update's reading of every row stays short. problem: 1 no field
    // known could be read, 2 the box is not in degrees.
    sqliteExec(m_handle,
               "CREATE TABLE datasets(id INTEGER PRIMARY KEY, path BLOB NOT NULL, xml BLOB NOT NULL, "
               "rel TEXT NOT NULL, category INTEGER NOT NULL, size INTEGER NOT NULL, mtime INTEGER NOT NULL, "
               "title TEXT NOT NULL, date TEXT NOT NULL, west REAL, east REAL, south REAL, north REAL, "
               "problem INTEGER NOT NULL, error TEXT)");
    sqliteExec(m_handle, "CREATE TABLE contents(id INTEGER PRIMARY KEY, abstract TEXT NOT NULL, purpose TEXT NOT NULL, "
                         "keywords TEXT NOT NULL, places TEXT NOT NULL, originator TEXT NOT NULL)");
    // The words are made by SearchText.h, so that every script is cut alike
    // (and as another back end would be given them): the tokenizer only
    // splits at spaces. A match needs no more than the row, and the texts
    // are kept once, in the tables above.
    // Segments are merged eight at a time rather than four: writing costs
    // a third less, and a search reads a few more segments, which it does
    // in microseconds.
    for (const std::string table : kWordTables)
        sqliteExec(m_handle, ("CREATE VIRTUAL TABLE " + table +
                              " USING fts5(words, content='', detail=none, columnsize=0, tokenize='ascii'); "
                              "INSERT INTO " + table + "(" + table + ", rank) VALUES('automerge', 8)")
                                 .c_str());
    // Every word of the texts, for the words a typed beginning stands for:
    // the full-text index would gather every row of all of them at once.
    sqliteExec(m_handle, "CREATE TABLE terms(term TEXT PRIMARY KEY) WITHOUT ROWID");
    // One row per part of a box (see boxId); the box's log2 area
    // (GeoBox::area) as a dimension, so that a search by extent reads the
    // boxes of about the asked size first. (The category as a fourth
    // dimension made every search read most of the tree, and as a column
    // of its own it cost a lookup per box.)
    sqliteExec(m_handle, "CREATE VIRTUAL TABLE boxes USING rtree(id, west, east, south, north, area0, area1)");
    SqliteStatement meta(m_handle, QStringLiteral(
        "INSERT INTO meta VALUES('format', ?), ('complete', '0'), ('count', '0'), ('writing', '0')"));
    meta.bind(1, formatName()).run();
    sqliteExec(m_handle, "COMMIT");
}

std::unordered_map<std::string, IndexedFile> SearchIndex::indexedFiles()
{
    std::unordered_map<std::string, IndexedFile> files;
    SqliteStatement q(m_handle, QStringLiteral("SELECT path, id, size, mtime FROM datasets"));
    while (q.next())
        files.emplace(q.blob(0), IndexedFile{q.integer(1), q.integer(2), q.integer(3)});
    return files;
}

void SearchIndex::begin()
{
    sqliteExec(m_handle, "BEGIN");
    m_inTransaction = true;
}

void SearchIndex::commit()
{
    // The number of data sets, kept with the rows it counts (counting them
    // would read the whole table at every search).
    if (m_countChange != 0)
        statement(QStringLiteral("UPDATE meta SET value = value + ? WHERE key = 'count'")).bind(1, m_countChange).run();
    m_countChange = 0;
    writePendingWords();
    // A commit that fails may leave the transaction open: it stays marked
    // for the rollback.
    sqliteExec(m_handle, "COMMIT");
    m_inTransaction = false;
}

void SearchIndex::writeWords(int64_t id, const searchwords::WordRows& w)
{
    // Enough for the batches of an update; a larger one is written in parts.
    constexpr size_t kMostPending = 8192;
    for (int t = 0; t < searchwords::kRows; ++t) {
        if (w.count[t] == 0)
            continue;
        m_pendingWords[t].emplace_back(wordRowId(w, t, id), w.text[t]);
        if (m_pendingWords[t].size() >= kMostPending)
            writePendingWords();
    }
    // The vocabulary: each word once (a set of those written keeps most
    // repeated words from reaching the database at all).
    SqliteStatement* insertTerm = nullptr;
    for (const QStringView term : w.words().tokenize(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (m_termsWritten.find(term) != m_termsWritten.end())
            continue;
        const QString word = term.toString();
        m_termsWritten.insert(word);
        if (!insertTerm)
            insertTerm = &statement(QStringLiteral("INSERT OR IGNORE INTO terms VALUES(?)"));
        insertTerm->bind(1, word).run();
    }
}

void SearchIndex::writePendingWords()
{
    static const QString insertRow[searchwords::kRows] = {
        QStringLiteral("INSERT INTO titles(rowid, words) VALUES(?, ?)"),
        QStringLiteral("INSERT INTO labels(rowid, words) VALUES(?, ?)"),
        QStringLiteral("INSERT INTO texts(rowid, words) VALUES(?, ?)")};
    for (int t = 0; t < searchwords::kRows; ++t) {
        // Taken out first: rows that fail to be written are not tried again
        // (the batch is rolled back).
        std::vector<std::pair<int64_t, QString>> rows = std::exchange(m_pendingWords[t], {});
        if (rows.empty())
            continue;
        std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        SqliteStatement& insert = statement(insertRow[t]);
        for (const auto& [rowId, words] : rows)
            insert.bind(1, rowId).bind(2, words).run();
    }
}

SearchFields SearchIndex::storedFields(int64_t id, std::string& path, uint8_t& category, bool& found)
{
    SqliteStatement& q = statement(
        QStringLiteral("SELECT d.path, d.category, d.title, c.abstract, c.purpose, c.keywords, c.places, c.originator "
                       "FROM datasets d LEFT JOIN contents c ON c.id = d.id WHERE d.id = ?"));
    Finished done{q};
    q.bind(1, id);
    SearchFields f;
    found = q.next();
    if (!found)
        return f;
    path = q.blob(0);
    category = uint8_t(q.integer(1));
    f.title = q.text(2);
    f.abstract = q.text(3);
    f.purpose = q.text(4);
    f.keywords = q.text(5);
    f.places = q.text(6);
    f.originator = q.text(7);
    return f;
}

bool SearchIndex::dropWords(int64_t id, uint8_t& category)
{
    // A row is taken out as it was written.
    writePendingWords();
    std::string path;
    bool found = false;
    const SearchFields f = storedFields(id, path, category, found);
    if (!found)
        return false;
    const searchwords::WordRows w = wordRows(fileNameOf(path), category, f);
    for (int t = 0; t < 3; ++t)
        if (w.count[t] > 0)
            statement(QStringLiteral("INSERT INTO %1(%1, rowid, words) VALUES('delete', ?, ?)")
                          .arg(QLatin1String(kWordTables[t])))
                .bind(1, wordRowId(w, t, id))
                .bind(2, w.text[t])
                .run();
    return true;
}

IndexEntry SearchIndex::entry(const std::string& path, uint8_t category, const SearchFields* fields)
{
    IndexEntry e;
    e.readable = fields != nullptr;
    e.category = category;
    if (fields) {
        e.fields = *fields;
        SearchFields& f = e.fields;
        for (QString* s : {&f.title, &f.abstract, &f.purpose, &f.keywords, &f.places, &f.originator, &f.date})
            *s = s->isNull() ? QStringLiteral("") : stored(*s);
    }
    e.words = wordRows(fileNameOf(path), category, e.fields);
    return e;
}

void SearchIndex::put(int64_t id, bool replacing, const std::string& path, const std::string& xmlPath,
                      const QString& relPath, uint8_t category, int64_t size, int64_t mtime,
                      const SearchFields* fields, const QString& error)
{
    put(id, replacing, path, xmlPath, relPath, size, mtime, entry(path, category, fields), error);
}

void SearchIndex::put(int64_t id, bool replacing, const std::string& path, const std::string& xmlPath,
                      const QString& relPath, int64_t size, int64_t mtime, const IndexEntry& entry,
                      const QString& error)
{
    if (replacing)
        remove(id);
    const SearchFields& f = entry.fields;
    const uint8_t category = entry.category;
    int problem = 0;
    if (entry.readable && f.nothingKnown())
        problem |= 1;
    if (f.boxReading == BoxReading::NotInDegrees)
        problem |= 2;
    ++m_countChange;
    SqliteStatement& row = statement(QStringLiteral(
        "INSERT INTO datasets(id, path, xml, rel, category, size, mtime, title, date, west, east, south, north, "
        "problem, error) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    row.bind(1, id).bindBlob(2, path).bindBlob(3, xmlPath).bind(4, relPath).bind(5, int64_t(category));
    row.bind(6, size).bind(7, mtime).bind(8, f.title.isNull() ? QStringLiteral("") : f.title);
    row.bind(9, f.date.isNull() ? QStringLiteral("") : f.date);
    if (f.box)
        row.bind(10, f.box->west).bind(11, f.box->east).bind(12, f.box->south).bind(13, f.box->north);
    else
        row.bindNull(10).bindNull(11).bindNull(12).bindNull(13);
    row.bind(14, int64_t(problem));
    if (entry.readable)
        row.bindNull(15);
    else
        row.bind(15, error);
    row.run();
    if (!f.abstract.isEmpty() || !f.purpose.isEmpty() || !f.keywords.isEmpty() || !f.places.isEmpty() ||
        !f.originator.isEmpty())
        statement(QStringLiteral("INSERT INTO contents VALUES(?, ?, ?, ?, ?, ?)"))
            .bind(1, id)
            .bind(2, f.abstract)
            .bind(3, f.purpose)
            .bind(4, f.keywords)
            .bind(5, f.places)
            .bind(6, f.originator)
            .run();
    writeWords(id, entry.words);
    if (f.box) {
        const double logArea = std::log2(f.box->area());
        const std::vector<GeoBox> parts = f.box->parts();
        for (size_t i = 0; i < parts.size(); ++i)
            statement(QStringLiteral("INSERT INTO boxes VALUES(?, ?, ?, ?, ?, ?, ?)"))
                .bind(1, boxId(id, category, int(i)))
                .bind(2, parts[i].west)
                .bind(3, parts[i].east)
                .bind(4, parts[i].south)
                .bind(5, parts[i].north)
                .bind(6, logArea)
                .bind(7, logArea)
                .run();
    }
}

void SearchIndex::remove(int64_t id)
{
    uint8_t category = 0;
    if (!dropWords(id, category))
        return;
    SqliteStatement& rows = statement(QStringLiteral("DELETE FROM datasets WHERE id = ?"));
    rows.bind(1, id).run();
    m_countChange -= rows.changes();
    statement(QStringLiteral("DELETE FROM contents WHERE id = ?")).bind(1, id).run();
    statement(QStringLiteral("DELETE FROM boxes WHERE id IN (?, ?)"))
        .bind(1, boxId(id, category, 0))
        .bind(2, boxId(id, category, 1))
        .run();
}

void SearchIndex::move(int64_t from, int64_t to)
{
    uint8_t category = 0;
    if (!dropWords(from, category))
        return;
    statement(QStringLiteral("UPDATE datasets SET id = ? WHERE id = ?")).bind(1, to).bind(2, from).run();
    statement(QStringLiteral("UPDATE contents SET id = ? WHERE id = ?")).bind(1, to).bind(2, from).run();
    for (int part = 0; part < 2; ++part)
        statement(QStringLiteral("UPDATE boxes SET id = ? WHERE id = ?"))
            .bind(1, boxId(to, category, part))
            .bind(2, boxId(from, category, part))
            .run();
    std::string path;
    bool found = false;
    const SearchFields f = storedFields(to, path, category, found);
    if (found)
        writeWords(to, wordRows(fileNameOf(path), category, f));
}

bool SearchIndex::isComplete()
{
    return m_available && metaValue("complete") == QLatin1String("1");
}

void SearchIndex::setComplete(bool complete)
{
    statement(QStringLiteral("UPDATE meta SET value = ? WHERE key = 'complete'"))
        .bind(1, complete ? QStringLiteral("1") : QStringLiteral("0"))
        .run();
}

int64_t SearchIndex::lastUpdate()
{
    return m_available ? metaValue("updated").toLongLong() : 0;
}

void SearchIndex::setLastUpdate(int64_t msecsSinceEpoch)
{
    statement(QStringLiteral("INSERT OR REPLACE INTO meta VALUES('updated', ?)"))
        .bind(1, QString::number(msecsSinceEpoch))
        .run();
}

int SearchIndex::datasetCount()
{
    if (!m_available)
        return 0;
    return int(metaValue("count").toLongLong() + m_countChange);
}

IndexProblems SearchIndex::problems()
{
    IndexProblems p;
    if (!m_available)
        return p;
    SqliteStatement q(m_handle, QStringLiteral("SELECT rel, error, problem FROM datasets WHERE error IS NOT NULL OR "
                                               "problem != 0 ORDER BY id"));
    while (q.next()) {
        const QString rel = q.text(0);
        if (!q.isNull(1))
            p.unreadable << rel + QStringLiteral(": ") + q.text(1);
        const int64_t problem = q.integer(2);
        if (problem & 1)
            p.notRead << rel;
        if (problem & 2)
            p.notInDegrees << rel;
    }
    return p;
}

std::vector<SearchHit> SearchIndex::search(const SearchQuery& query, int* found)
{
    if (found)
        *found = 0;
    if (!m_available || query.limit <= 0 || query.categories.isEmpty())
        return {};
    const bool words = !searchtext::queryTerms(query.words).empty();
    if (!words && !query.extent)
        return {};
    // One read transaction for the whole search: every statement sees the
    // same state of the index, and none takes the file's read lock again.
    struct ReadTransaction {
        sqlite3* db;
        explicit ReadTransaction(sqlite3* handle) : db(handle) { sqliteExec(db, "BEGIN"); }
        ~ReadTransaction()
        {
            try {
                sqliteExec(db, "COMMIT");
            } catch (const Exception&) {
            }
        }
    } reading(m_handle);
    std::vector<int64_t> ids = words ? matchWords(query) : matchExtent(query);
    if (ids.size() > size_t(query.limit))
        ids.resize(size_t(query.limit));
    if (found)
        *found = int(ids.size());
    // Only the part asked for is read.
    const size_t from = std::min(ids.size(), size_t(std::max(query.from, 0)));
    const size_t to = from + std::min(ids.size() - from, size_t(std::max(query.count, 0)));
    return rows(std::vector<int64_t>(ids.begin() + ptrdiff_t(from), ids.begin() + ptrdiff_t(to)));
}

std::vector<int64_t> SearchIndex::matchWords(const SearchQuery& query)
{
    std::vector<int64_t> found;
    bool noCategory = false;
    const QString categories = categoryCondition(query.categories, noCategory);
    if (noCategory)
        return found;

    // Each term as a whole word, and with the words it begins. A beginning
    // of too many words is left to the full-text index's own prefix search
    // (which gathers all their rows first).
    constexpr int kMostWords = 64;
    QStringList whole, begun;
    bool wholeKnown = true;
    for (const searchtext::Term& term : searchtext::queryTerms(query.words)) {
        // No word holds U+10FFFF (it is no letter): it ends the beginnings.
        SqliteStatement& q =
            statement(QStringLiteral("SELECT term FROM terms WHERE term >= ? AND term <= ? ORDER BY term LIMIT ?"));
        Finished done{q};
        q.bind(1, term.word)
            .bind(2, term.prefix ? term.word + QString::fromUcs4(U"\U0010FFFF", 1) : term.word)
            .bind(3, int64_t(kMostWords + 1));
        QStringList list;
        while (q.next())
            list << q.text(0);
        if (list.isEmpty())
            return found; // a word that is nowhere: nothing has every word
        wholeKnown = wholeKnown && (list.size() > kMostWords || list.front() == term.word);
        whole << quoted(term.word);
        if (list.size() > kMostWords) {
            begun << quoted(term.word) + QLatin1Char('*');
        } else {
            QStringList alternatives;
            for (const QString& w : list)
                alternatives << quoted(w);
            begun << (alternatives.size() == 1 ? alternatives.front()
                                               : QLatin1Char('(') + alternatives.join(QStringLiteral(" OR ")) + QLatin1Char(')'));
        }
    }
    const QString wholeExpression = whole.join(QStringLiteral(" AND ")) + categories;
    const QString begunExpression = begun.join(QStringLiteral(" AND ")) + categories;

    std::unordered_set<int64_t> seen;
    const size_t wanted = size_t(query.limit);
    std::vector<int64_t> pending; // matches whose box is still to be looked at
    auto keepInExtent = [&] {
        if (pending.empty())
            return;
        SqliteStatement& q =
            statement(QStringLiteral("SELECT west, east, south, north FROM datasets WHERE id = ? AND west IS NOT NULL"));
        Finished done{q};
        for (int64_t id : pending) {
            q.bind(1, id);
            if (q.next() && GeoBox{q.real(0), q.real(1), q.real(2), q.real(3)}.intersects(*query.extent) &&
                found.size() < wanted)
                found.push_back(id);
        }
        pending.clear();
    };
    for (int table = 0; table < 3 && found.size() < wanted; ++table) {
        for (int begins = 0; begins < 2 && found.size() < wanted; ++begins) {
            // Whole words first; their level is empty when a word is not
            // one of the index's, and the second is the same when no
            // word is the beginning of another.
            if (begins ? wholeKnown && begunExpression == wholeExpression : !wholeKnown)
                continue;
            SqliteStatement& q = statement(QStringLiteral("SELECT rowid FROM %1 WHERE %1 MATCH ? ORDER BY rowid")
                                               .arg(QLatin1String(kWordTables[table])));
            Finished done{q};
            q.bind(1, begins ? begunExpression : wholeExpression);
            while (found.size() < wanted && q.next()) {
                const int64_t id = q.integer(0) & kIdMask;
                if (!seen.insert(id).second)
                    continue;
                if (!query.extent) {
                    found.push_back(id);
                    continue;
                }
                pending.push_back(id);
                if (pending.size() >= std::clamp<size_t>(2 * (wanted - found.size()), 32, 512))
                    keepInExtent();
            }
            q.reset();
            if (query.extent)
                keepInExtent();
        }
    }
    return found;
}

std::vector<int64_t> SearchIndex::matchExtent(const SearchQuery& query)
{
    const GeoBox& asked = *query.extent;
    const double askedLog = std::log2(asked.area());
    bool shown[16] = {};
    for (int c : query.categories)
        if (c >= 0 && c <= 15)
            shown[c] = true;
    const std::vector<GeoBox> askedParts = asked.parts();
    const size_t wanted = size_t(query.limit);

    // A box fits at most as well as the ratio of the smaller area to the
    // larger (GeoBox::fit): the boxes are read by bands of area around the
    // asked one, widened until the first page is sure to hold the best fits.
    // The tree keeps boxes widened to single precision, which finds every
    // box that meets the extent and a few that only touch it by that
    // widening. Each data set met is ranked by its box as written, as every
    // back end ranks it: from the tree's copy when every box between that
    // copy and the copy narrowed by more than the widening ranks alike
    // (GeoBox::rankedFitBetween), else from the datasets table.
    struct Candidate {
        int64_t id = 0;
        double rank = 0; // GeoBox::rankedFit
    };
    std::vector<Candidate> candidates;
    SqliteStatement& exact =
        statement(QStringLiteral("SELECT west, east, south, north FROM datasets WHERE id = ? AND west IS NOT NULL"));
    const QString sql = QStringLiteral(
        "SELECT id, west, east, south, north FROM boxes WHERE west <= ? AND east >= ? AND south <= ? AND north >= ? "
        "AND area0 >= ? AND area0 <= ?");
    // More than the tree's rounding of `value` to single precision (at most
    // two units in its last place).
    const auto beyondRounding = [](double value) {
        return value == 0 ? 1e-30 : std::ldexp(1.0, std::ilogb(value) - 21);
    };
    std::vector<int64_t> met; // to be read as written
    auto readBand = [&](double low, double high) {
        met.clear();
        for (const GeoBox& part : askedParts) {
            SqliteStatement& q = statement(sql);
            Finished done{q};
            q.bind(1, part.east).bind(2, part.west).bind(3, part.north).bind(4, part.south).bind(5, low).bind(6, high);
            while (q.next()) {
                const int64_t rowId = q.integer(0);
                if (!shown[(rowId >> 1) & 15])
                    continue;
                const GeoBox outer{q.real(1), q.real(2), q.real(3), q.real(4)};
                const GeoBox inner{outer.west + beyondRounding(outer.west), outer.east - beyondRounding(outer.east),
                                   outer.south + beyondRounding(outer.south),
                                   outer.north - beyondRounding(outer.north)};
                bool meets = false;
                double rank = 0;
                // A part of a box across the antimeridian ends at 180 or -180.
                if (outer.west > -180 && outer.east < 180 &&
                    GeoBox::rankedFitBetween(inner, outer, asked, meets, rank)) {
                    if (meets)
                        candidates.push_back({rowId >> 5, rank});
                } else {
                    met.push_back(rowId >> 5);
                }
            }
        }
        // In id order: neighbours share the table's pages. Both parts of a
        // box across the antimeridian are read as written, once.
        std::sort(met.begin(), met.end());
        met.erase(std::unique(met.begin(), met.end()), met.end());
        Finished read{exact};
        for (const int64_t id : met) {
            exact.bind(1, id);
            if (exact.next()) {
                const GeoBox box{exact.real(0), exact.real(1), exact.real(2), exact.real(3)};
                if (box.intersects(asked))
                    candidates.push_back({id, box.rankedFit(asked)});
            }
        }
        // A box met by both parts of the asked extent is one candidate.
        if (askedParts.size() > 1) {
            std::sort(candidates.begin(), candidates.end(),
                      [](const Candidate& x, const Candidate& y) { return x.id < y.id; });
            candidates.erase(std::unique(candidates.begin(), candidates.end(),
                                         [](const Candidate& x, const Candidate& y) { return x.id == y.id; }),
                             candidates.end());
        }
    };
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    for (double reach = 0, next = 1;; reach = next, next *= 2) {
        if (reach == 0) {
            readBand(askedLog - next, askedLog + next);
        } else {
            readBand(askedLog - next, std::nextafter(askedLog - reach, -kInfinity));
            readBand(std::nextafter(askedLog + reach, kInfinity), askedLog + next);
        }
        // Every box is within 2^64 of the asked area.
        if (next >= 64)
            break;
        // Boxes not read yet fit less than this (their areas are kept as
        // single-precision numbers: a margin for their rounding), so rank
        // no higher; a candidate that ranks higher stays ahead of them.
        const double bound = GeoBox::rankOf(std::exp2(-next + 1e-5));
        size_t sure = 0;
        for (const Candidate& c : candidates)
            sure += c.rank > bound;
        if (sure >= wanted)
            break;
    }
    // Best fit first; ties in path order, which is id order.
    const auto better = [](const Candidate& a, const Candidate& b) {
        return a.rank != b.rank ? a.rank > b.rank : a.id < b.id;
    };
    const size_t keep = std::min(candidates.size(), wanted);
    std::partial_sort(candidates.begin(), candidates.begin() + ptrdiff_t(keep), candidates.end(), better);
    std::vector<int64_t> ids;
    ids.reserve(keep);
    for (size_t i = 0; i < keep; ++i)
        ids.push_back(candidates[i].id);
    return ids;
}

std::vector<SearchHit> SearchIndex::rows(const std::vector<int64_t>& ids)
{
    // One prepared lookup per data set: a statement with the ids written
    // in it took longer to prepare than to run.
    std::vector<SearchHit> hits;
    hits.reserve(ids.size());
    SqliteStatement& q = statement(QStringLiteral(
        "SELECT d.path, d.xml, d.rel, d.category, d.title, d.date, d.mtime, d.west, d.east, d.south, d.north, "
        "c.abstract, c.purpose, c.keywords, c.places, c.originator FROM datasets d LEFT JOIN contents c ON c.id = d.id "
        "WHERE d.id = ?"));
    Finished done{q};
    for (int64_t id : ids) {
        q.bind(1, id);
        // A row deleted between the match and this read is left out.
        if (!q.next())
            continue;
        SearchHit& h = hits.emplace_back();
        h.path = q.blob(0);
        h.xmlPath = q.blob(1);
        h.relPath = q.text(2);
        h.category = uint8_t(q.integer(3));
        h.title = q.text(4);
        h.date = q.text(5);
        h.mtime = q.integer(6);
        if (!q.isNull(7))
            h.box = GeoBox{q.real(7), q.real(8), q.real(9), q.real(10)};
        h.abstract = q.text(11);
        h.purpose = q.text(12);
        h.keywords = q.text(13);
        h.places = q.text(14);
        h.originator = q.text(15);
    }
    return hits;
}
