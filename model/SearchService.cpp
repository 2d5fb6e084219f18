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
        SearchAnswer answer = backend->answer(query);
        answer.generation = generation;
        promise.addResult(std::move(answer));
    });
    m_job->onResult([this](const SearchAnswer& answer) {
        m_job = nullptr;
        emit answered(answer);
    });
    m_job->onFinished([this, job = m_job](const QString&) {
        if (m_job == job)
            m_job = nullptr;
    });
    return generation;
}
