#pragma once
// The search index of one store: an SQLite file (Qt SQL, QSQLITE) with what
// the metadata of each data set says (see SearchFields.h), its words
// (FTS5, three tables: the titles; the titles with the file names,
// keywords and places; everything), its bounding boxes (R*Tree, a box
// across the antimeridian as its two parts) and what was indexed (each
// metadata file's size and modification time), so that later updates read
// only what changed. The file is a cache: deleting it loses nothing.
//
// A data set's id follows the order of its path (see PathOrder.h), and the
// rows of each word table are numbered by the length of their field, then
// that id: a search reads matches in rank order and stops after the first
// page, whatever the number of matches (see SearchQuery.h for the order).
//
// One SearchIndex is one connection: create, use and destroy it on one
// thread. Several connections (an indexer writing, searches reading) may
// use the same file at once; readers see what the writer has committed.
// The file keeps a rollback journal while it is written (no write-ahead
// log): a transaction that fails, on a full disk too, leaves the file as it
// was before, with nothing beside it.
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/IndexFault.h"
#include "model/SearchFields.h"
#include "model/SearchQuery.h"
#include "model/SearchWords.h"
#include "model/SqliteStatement.h"

struct IndexedFile {
    int64_t id = 0;
    int64_t size = -1;
    int64_t mtime = -1;
};

// What the index could not take in, each "relative path" or "relative path: reason".
struct IndexProblems {
    QStringList unreadable;   // the metadata could not be read
    QStringList notRead;      // no field the program knows could be read
    QStringList notInDegrees; // the box's values are not degrees
};

// One data set's metadata as SearchIndex::put() stores it, with its words.
// Made by SearchIndex::entry() on any thread (it touches no connection), so
// that an indexer makes them on the threads that read the documents and its
// writer only writes.
struct IndexEntry {
    bool readable = false; // false: the metadata could not be read (no fields)
    uint8_t category = 0;
    SearchFields fields;         // as stored: no null text, valid UTF-16
    searchwords::WordRows words; // each row with the category as a word of its own
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
    // check) every time, the word and box indexes too when the program that
    // last wrote it did not close it (it was killed) or when `thoroughly`.
    // A file that is damaged or not an index of this format is deleted and
    // created anew; rebuilt() then says why. Other faults (a lock held by
    // another program, a full disk, a folder that may not be written) are
    // thrown as SearchIndexError and leave the file alone.
    // For reading, a missing file or one still being created is no error:
    // the index is then empty and not complete. A file in a folder that may
    // not be written is read as it is; reads throw SearchIndexError. A
    // statement waits at most `lockWaitMs` for a lock another connection
    // holds on the file.
    explicit SearchIndex(const QString& file, Access access = Access::Write, bool thoroughly = false,
                         int lockWaitMs = 10000);
    ~SearchIndex();
    SearchIndex(const SearchIndex&) = delete;
    SearchIndex& operator=(const SearchIndex&) = delete;

    // Deletes the index file with its journal files (no connection may be open).
    static void discard(const QString& file);

    // False when reading found no usable index (none yet, or another format).
    bool available() const { return m_available; }
    Rebuilt rebuilt() const { return m_rebuilt; }
    const QString& file() const { return m_file; }

    // What is indexed, by item path.
    std::unordered_map<std::string, IndexedFile> indexedFiles();
    // Batches writes; a search on another connection sees them at commit.
    // A batch that fails is rolled back when the index is destroyed.
    void begin();
    void commit();
    // Records one data set under `id` (placed in path order, see
    // PathOrder.h); with `replacing` the row of that id is replaced. With
    // `fields` null the metadata could not be read: the data set is kept
    // findable by its file name and listed as unreadable with `error`.
    void put(int64_t id, bool replacing, const std::string& path, const std::string& xmlPath, const QString& relPath,
             uint8_t category, int64_t size, int64_t mtime, const SearchFields* fields, const QString& error = {});
    // The same with the entry made beforehand (entry()).
    void put(int64_t id, bool replacing, const std::string& path, const std::string& xmlPath, const QString& relPath,
             int64_t size, int64_t mtime, const IndexEntry& entry, const QString& error = {});
    // What put() stores of the data set at `path` (its file name is one of
    // its words) with `fields` (null: its metadata could not be read).
    // Any thread.
    static IndexEntry entry(const std::string& path, uint8_t category, const SearchFields* fields);
    void remove(int64_t id);
    // Gives the data set `from` the id `to` (which must be free).
    void move(int64_t from, int64_t to);
    // Whether a whole walk of the store has been recorded (false while the
    // first build runs).
    bool isComplete();
    void setComplete(bool complete);
    // When an update last went through the whole store (milliseconds since
    // the epoch; 0 when none did).
    int64_t lastUpdate();
    void setLastUpdate(int64_t msecsSinceEpoch);
    int datasetCount();
    IndexProblems problems();

    // The data sets that match, in rank order (see SearchQuery.h), cut at
    // `query.limit`: the part `query.from`, `query.count` of that list, and
    // in `found` the length of the whole list. Words and extent combine
    // (each optional; neither gives nothing). Throws SearchIndexError.
    std::vector<SearchHit> search(const SearchQuery& query, int* found = nullptr);

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
    // A statement prepared once per connection, by its SQL, ready to bind.
    SqliteStatement& statement(const QString& sql);
    QString metaValue(const char* key);
    // What the data set `id` has stored of its metadata; `found` false when
    // there is no such row.
    SearchFields storedFields(int64_t id, std::string& path, uint8_t& category, bool& found);
    // The word-table rows of the data set `id` as it is stored, taken out
    // (before it is removed or moved), and written.
    // False when there is no such row; `category` is the row's.
    bool dropWords(int64_t id, uint8_t& category);
    void writeWords(int64_t id, const searchwords::WordRows& words);
    // Writes the word rows writeWords() held back.
    void writePendingWords();
    std::vector<int64_t> matchWords(const SearchQuery& query);
    // Data sets whose box meets the extent, best fit first (as
    // GeoBox::rankedFit ranks their boxes as written), ties in path order:
    // the first `query.limit`.
    std::vector<int64_t> matchExtent(const SearchQuery& query);
    std::vector<SearchHit> rows(const std::vector<int64_t>& ids);

    QString m_file;
    QString m_connection;
    int m_lockWaitMs;
    QSqlDatabase m_db;
    sqlite3* m_handle = nullptr; // the connection under m_db
    Rebuilt m_rebuilt = Rebuilt::No;
    bool m_writer = false;
    bool m_inTransaction = false;
    bool m_available = true; // false: read access found no usable index
    std::unordered_map<QString, std::unique_ptr<SqliteStatement>> m_statements;
    // Words looked up as they stand in a data set's word rows.
    struct TermHash {
        using is_transparent = void;
        size_t operator()(QStringView word) const { return qHash(word); }
    };
    struct TermEqual {
        using is_transparent = void;
        bool operator()(QStringView a, QStringView b) const { return a == b; }
    };
    std::unordered_set<QString, TermHash, TermEqual> m_termsWritten; // the vocabulary rows written on this connection
    // Word rows not written yet, per table. The full-text index starts a new
    // segment whenever a row comes before the last one written (which the
    // length buckets make frequent): the rows of a batch are written in
    // rowid order, when it is committed or before a row is taken out.
    std::vector<std::pair<int64_t, QString>> m_pendingWords[searchwords::kRows];
    int64_t m_countChange = 0; // data sets added less those removed since the last commit
};
