#pragma once
// Searches run off the window thread: a request goes to a worker, which
// asks the back end; the answer comes back as a signal on the thread this
// object lives in. Only the newest request is answered.
#include <QObject>
#include <memory>

#include "model/SearchBackend.h"
#include "support/Background.h"

// Members: window thread only.
class SearchService : public QObject {
    Q_OBJECT
public:
    explicit SearchService(QObject* parent = nullptr);

    // Starts `backend`'s answer to `query`; returns its generation. An
    // answer to an older request is dropped.
    unsigned request(std::shared_ptr<const SearchBackend> backend, const SearchQuery& query);
    // Drops every answer still to come.
    void forget();

signals:
    void answered(const SearchAnswer& answer);

private:
    WorkerPool m_pool{QStringLiteral("searches"), 1}; // searches run one after the other
    BackgroundJob<SearchAnswer>* m_job = nullptr;     // the newest request's, or null
    unsigned m_generation = 0;
};
