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
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/SearchFields.h"
#include "model/SearchQuery.h"
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

class SearchIndex {
public:
    enum class Access {
        Write, // the indexer: creates, checks and rebuilds the file
        Read,  // searches: never create or change it
    };
    // Opens `file` on the calling thread. For writing, a missing file (and
    // its folder) is created, and a file that is not an index of this
    // format (junk, another version, a damaged database) is deleted and
    // created anew; notice() then says so. Throws Exception when no index
    // can be made there at all (no SQLite driver, an unwritable folder).
    // For reading, a missing or unusable file is no error: the index is
    // then empty and not complete (it is being built).
    explicit SearchIndex(const QString& file, Access access = Access::Write);
    ~SearchIndex();
    SearchIndex(const SearchIndex&) = delete;
    SearchIndex& operator=(const SearchIndex&) = delete;

    // Deletes the index file with its journal files (no connection may be open).
    static void discard(const QString& file);

    // False when reading found no usable index (none yet, or another format).
    bool available() const { return m_available; }
    // Empty, or why the file was rebuilt.
    const QString& notice() const { return m_notice; }
    const QString& file() const { return m_file; }

    // What is indexed, by item path.
    std::unordered_map<std::string, IndexedFile> indexedFiles();
    // Batches writes; a search on another connection sees them at commit.
    void begin();
    void commit();
    // Records one data set under `id` (placed in path order, see
    // PathOrder.h); with `replacing` the row of that id is replaced. With
    // `fields` null the metadata could not be read: the data set is kept
    // findable by its file name and listed as unreadable with `error`.
    void put(int64_t id, bool replacing, const std::string& path, const std::string& xmlPath, const QString& relPath,
             uint8_t category, int64_t size, int64_t mtime, const SearchFields* fields, const QString& error = {});
    void remove(int64_t id);
    // Gives the data set `from` the id `to` (which must be free).
    void move(int64_t from, int64_t to);
    // Whether a whole walk of the store has been recorded (false while the
    // first build runs).
    bool isComplete();
    void setComplete(bool complete);
    int datasetCount();
    IndexProblems problems();

    // The data sets that match, in rank order (see SearchQuery.h), cut at
    // `query.limit`: the part `query.from`, `query.count` of that list, and
    // in `found` the length of the whole list. Words and extent combine
    // (each optional; neither gives nothing). Throws Exception on a
    // database error.
    std::vector<SearchHit> search(const SearchQuery& query, int* found = nullptr);

private:
    void open();
    void close();
    bool usable(QString& reason, bool check);
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
    void writeWords(int64_t id, const QString& fileName, uint8_t category, const SearchFields& fields);
    std::vector<int64_t> matchWords(const SearchQuery& query);
    // Data sets whose box may meet the extent, best fit first, as far as
    // needed to be sure of the first `query.limit` (their boxes as the
    // R*Tree keeps them: widened to single precision).
    std::vector<int64_t> matchExtent(const SearchQuery& query);
    std::vector<SearchHit> rows(const std::vector<int64_t>& ids);

    QString m_file;
    QString m_connection;
    QSqlDatabase m_db;
    sqlite3* m_handle = nullptr; // the connection under m_db
    QString m_notice;
    bool m_available = true; // false: read access found no usable index
    std::unordered_map<QString, std::unique_ptr<SqliteStatement>> m_statements;
    std::unordered_set<QString> m_termsWritten; // the vocabulary rows written on this connection
    int64_t m_countChange = 0; // data sets added less those removed since the last commit
};
