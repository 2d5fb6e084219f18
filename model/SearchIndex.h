#pragma once
// The search index of one store: an SQLite file (Qt SQL, QSQLITE) with the
// words of every data set's metadata (FTS5, accents and case folded), their
// bounding boxes (R*Tree) and what was indexed (each metadata file's size
// and modification time), so that later updates read only what changed.
// The file is a cache: deleting it loses nothing.
//
// One SearchIndex is one connection: create, use and destroy it on one
// thread. Several connections (an indexer writing, searches reading) may
// use the same file at once; readers see what the writer has committed.
// The file keeps a rollback journal while it is written (no write-ahead
// log): a transaction that fails, on a full disk too, leaves the file as it
// was before, with nothing beside it.
#include <QHash>
#include <QList>
#include <QSqlQuery>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/SearchFields.h"
#include "support/Errors.h"

// What went wrong with an index file, as far as something can be done
// about it.
enum class IndexFault {
    None,
    Damaged,    // a damaged page, or not an index at all: it is built again
    Locked,     // another program holds the file: wait and try again later
    DiskFull,   // no room left on the disk that holds it
    Unwritable, // its folder or the file itself may not be written
    Failed,     // anything else (a read error of the disk, ...)
};

// A failure of the index file. The message is SQLite's own text (or ours),
// never a statement.
class SearchIndexError : public Exception {
public:
    SearchIndexError(IndexFault fault, const std::string& message) : Exception(message), m_fault(fault) {}
    IndexFault fault() const { return m_fault; }

private:
    IndexFault m_fault;
};

struct SearchQuery {
    QString words;          // every word must match, as a word prefix
    bool hasExtent = false; // data sets whose box intersects this one (degrees)
    double west = -180, east = 180, south = -90, north = 90; // west > east crosses the antimeridian
    QList<int> categories;  // only data sets of these categories
    int limit = 1000;
};

struct SearchHit {
    std::string path;    // the data set's item path (bytes); a directory's ends with '/'
    std::string xmlPath; // its metadata document
    QString relPath;     // the path below the store's root, as text for people
    uint8_t category = 0;
    QString title;       // empty when the metadata has none
    bool hasExtent = false;
    double west = 0, east = 0, south = 0, north = 0;
};

struct IndexedFile {
    int64_t id = 0;
    int64_t size = -1;
    int64_t mtime = -1;
};

class SearchIndex {
public:
    enum class Access {
        Write, // the indexer: creates, checks and rebuilds the file
        Read,  // searches: never create or change it
    };
    // Why the writer started the file anew.
    enum class Rebuilt {
        No,
        Damaged,     // damaged pages, or a file that is no database
        OtherFormat, // an index of another version, or someone else's database
    };
    // Opens `file` on the calling thread. For writing, a missing file (and
    // its folder) is created, and the file is checked: its pages (quick
    // check) every time, the word and extent indexes too when the program
    // that last wrote it did not close it (it was killed) or when
    // `thoroughly`. A file that is damaged or not an index of this format is
    // deleted and created anew; rebuilt() then says why. Other faults (a
    // lock held by another program, a full disk, a folder that may not be
    // written) are thrown as SearchIndexError and leave the file alone.
    // For reading, a missing file is no error: the index is then empty and
    // not complete. A file in a folder that may not be written is read as
    // it is; reads throw SearchIndexError. A statement waits at most
    // `lockWaitMs` for a lock another connection holds on the file.
    explicit SearchIndex(const QString& file, Access access = Access::Write, bool thoroughly = false,
                         int lockWaitMs = 10000);
    ~SearchIndex();
    SearchIndex(const SearchIndex&) = delete;
    SearchIndex& operator=(const SearchIndex&) = delete;

    // Deletes the index file with its journal files (no connection may be open).
    static void discard(const QString& file);

    Rebuilt rebuilt() const { return m_rebuilt; }
    const QString& file() const { return m_file; }

    // What is indexed, by item path.
    std::unordered_map<std::string, IndexedFile> indexedFiles();
    // Batches writes; a search on another connection sees them at commit.
    // A batch that fails is rolled back when the index is destroyed.
    void begin();
    void commit();
    // Records one data set (replacing the row `id` when it is not 0). With
    // `fields` null the metadata could not be read: the data set is kept
    // findable by its file name and listed by unreadable() with `error`.
    void put(int64_t id, const std::string& path, const std::string& xmlPath, const QString& relPath,
             uint8_t category, int64_t size, int64_t mtime, const SearchFields* fields,
             const QString& error = {});
    void remove(int64_t id);
    // Whether a whole walk of the store has been recorded (false while the
    // first build runs).
    bool isComplete();
    void setComplete(bool complete);
    // When an update last went through the whole store (milliseconds since
    // the epoch; 0 when none did).
    qint64 lastUpdate();
    void setLastUpdate(qint64 msecsSinceEpoch);
    int datasetCount();
    // "relative path: reason" of each data set whose metadata could not be read.
    QStringList unreadable();

    // Words and extent combined (each optional; neither gives nothing).
    // Title matches come first; within each group, and for an extent
    // alone, results are in path order. Throws SearchIndexError.
    std::vector<SearchHit> search(const SearchQuery& query);

    // The FTS5 expression for the words of `text`: each word as a quoted
    // prefix, all of them required; empty when it has no word.
    static QString matchExpression(const QString& text);

private:
    void open(bool asItIs = false);
    void close();
    // Read access: the file can be searched (false for an empty file that a
    // writer is creating, or an index of another format).
    bool readable();
    // Write access: creates the schema of an empty file and checks the
    // file; says why it must be built anew, or Rebuilt::No.
    Rebuilt prepareForWriting(bool thoroughly);
    void checkPages(bool thoroughly);
    void createSchema();
    void exec(const QString& sql);
    // Runs `sql` with `values` through a statement prepared once per
    // connection (the indexer writes three rows per data set).
    QSqlQuery& runPrepared(const QString& sql, const QVariantList& values);

    QString m_file;
    QString m_connection;
    int m_lockWaitMs;
    QSqlDatabase m_db;
    Rebuilt m_rebuilt = Rebuilt::No;
    bool m_writer = false;
    bool m_inTransaction = false;
    bool m_available = true; // false: read access found nothing to search
    QHash<QString, QSqlQuery> m_statements; // prepared once, by their SQL
};
