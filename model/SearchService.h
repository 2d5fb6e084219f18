#pragma once
// Searches run off the window thread: a request goes to a worker, which
// asks the back end; the answers come back as signals on the thread this
// object lives in. Only the newest request is answered. The first answer
// brings the first page of the ranked list (as soon as its rows are read),
// a second one the rest of it, when there is more.
#include <QObject>
#include <memory>

#include "model/SearchBackend.h"
#include "support/Background.h"

// Members: window thread only.
class SearchService : public QObject {
    Q_OBJECT
public:
    explicit SearchService(QObject* parent = nullptr);

    // Rows in the first answer: more than a list shows at once.
    static constexpr int kFirstPage = 100;

    // Starts `backend`'s answer to `query` (its part from, count); returns
    // its generation. An answer to an older request is dropped.
    unsigned request(std::shared_ptr<const SearchBackend> backend, const SearchQuery& query);
    // Drops every answer still to come.
    void forget();

signals:
    // The part answer.query.from, answer.query.count of the ranked list;
    // answer.restFollows when another answer brings the rest.
    void answered(const SearchAnswer& answer);

private:
    WorkerPool m_pool{QStringLiteral("searches"), 1}; // searches run one after the other
    BackgroundJob<SearchAnswer>* m_job = nullptr;     // the newest request's, or null
    unsigned m_generation = 0;
};
