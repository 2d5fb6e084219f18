#pragma once
// Searches of the index run off the window thread: a request goes to a
// worker with its own connection, the answer comes back as a signal on the
// thread this object lives in. Only the newest request is answered.
#include <QObject>
#include <QString>
#include <vector>

#include "model/SearchIndex.h"
#include "support/Background.h"

struct SearchAnswer {
    unsigned generation = 0;
    std::vector<SearchHit> hits; // at most the query's limit
    bool more = false;     // more data sets match than the limit lets through
    bool complete = false; // the index holds a whole walk of the store
    int indexed = 0;       // data sets in the index
    QString error;         // why the search failed (SQLite's words, no statement), or empty
    IndexFault fault = IndexFault::None; // the kind of that failure
};

// Runs one search on the calling thread with a connection of its own.
// Never throws: a failure is in SearchAnswer::error.
SearchAnswer runIndexSearch(const QString& indexFile, const SearchQuery& query);

// Members: window thread only.
class SearchService : public QObject {
    Q_OBJECT
public:
    explicit SearchService(QObject* parent = nullptr);

    // Starts a search of `indexFile`; returns its generation. An answer to
    // an older request is dropped.
    unsigned request(const QString& indexFile, const SearchQuery& query);
    // Drops every answer still to come.
    void forget();

signals:
    void answered(const SearchAnswer& answer);

private:
    WorkerPool m_pool{QStringLiteral("searches"), 1}; // searches run one after the other
    BackgroundJob<SearchAnswer>* m_job = nullptr;     // the newest request's, or null
    unsigned m_generation = 0;
};
