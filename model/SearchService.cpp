#include "model/SearchService.h"

SearchService::SearchService(QObject* parent) : QObject(parent)
{
    m_pool.setGrace(1000); // a search takes milliseconds
}

void SearchService::forget()
{
    ++m_generation;
    if (BackgroundJob<SearchAnswer>* job = std::exchange(m_job, nullptr))
        job->cancel();
}

unsigned SearchService::request(std::shared_ptr<const SearchBackend> backend, const SearchQuery& query)
{
    // A request not started yet is outrun by this one.
    forget();
    const unsigned generation = m_generation;
    m_job = runInBackground<SearchAnswer>(m_pool, this,
                                          [backend = std::move(backend), query, generation](QPromise<SearchAnswer>& promise) {
        SearchQuery first = query;
        first.count = std::min(query.count, kFirstPage);
        SearchAnswer answer = backend->answer(first);
        answer.generation = generation;
        answer.restFollows = answer.error.isEmpty() && first.count < query.count &&
                             answer.found > first.from + first.count;
        const bool restFollows = answer.restFollows;
        const int found = answer.found;
        promise.addResult(std::move(answer));
        if (!restFollows || promise.isCanceled())
            return;
        // The rest, read by a second search: the index may have changed in
        // between (the receiver drops a data set it already has).
        SearchQuery rest = query;
        rest.from = query.from + first.count;
        rest.count = query.count - first.count;
        SearchAnswer more = backend->answer(rest);
        more.generation = generation;
        // The list's length stays the one the first answer told.
        if (more.error.isEmpty())
            more.found = found;
        promise.addResult(std::move(more));
    });
    m_job->onResult([this](const SearchAnswer& answer) {
        if (!answer.restFollows)
            m_job = nullptr;
        emit answered(answer);
    });
    m_job->onFinished([this, job = m_job](const QString&) {
        if (m_job == job)
            m_job = nullptr;
    });
    return generation;
}
