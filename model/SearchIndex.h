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

    // Empty, or why the file was rebuilt.
    const QString& notice() const { return m_notice; }
    const QString& file() const { return m_file; }

    // What is indexed, by item path.
    std::unordered_map<std::string, IndexedFile> indexedFiles();
    // Batches writes; a search on another connection sees them at commit.
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
    int datasetCount();
    // "relative path: reason" of each data set whose metadata could not be read.
    QStringList unreadable();

    // Words and extent combined (each optional; neither gives nothing).
    // Title matches come first; within each group, and for an extent
    // alone, results are in path order. Throws Exception on a database error.
    std::vector<SearchHit> search(const SearchQuery& query);

    // The FTS5 expression for the words of `text`: each word as a quoted
    // prefix, all of them required; empty when it has no word.
    static QString matchExpression(const QString& text);

private:
    void open();
    bool usable(QString& reason, bool check);
    void createSchema();
    void exec(const QString& sql);
    // Runs `sql` with `values` through a statement prepared once per
    // connection (the indexer writes three rows per data set).
    QSqlQuery& runPrepared(const QString& sql, const QVariantList& values);

    QString m_file;
    QString m_connection;
    QSqlDatabase m_db;
    QString m_notice;
    bool m_available = true; // false: read access found no usable index
    QHash<QString, QSqlQuery> m_statements; // prepared once, by their SQL
};
