#include "model/SearchService.h"

SearchService::SearchService(QObject* parent) : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
    // The worker keeps its connection to the index (see LocalSearch.cpp)
    // as long as the service lives.
    m_pool.setExpiryTimeout(-1);
}

SearchService::~SearchService()
{
    m_pool.clear();
    m_pool.waitForDone();
}

unsigned SearchService::request(std::shared_ptr<const SearchBackend> backend, const SearchQuery& query)
{
    const unsigned generation = ++m_generation;
    // Requests not started yet are outrun by this one.
    m_pool.clear();
    m_pool.start([this, backend = std::move(backend), query, generation] {
        SearchAnswer answer = backend->answer(query);
        answer.generation = generation;
        QMetaObject::invokeMethod(this, [this, answer] {
            if (answer.generation == m_generation)
                emit answered(answer);
        }, Qt::QueuedConnection);
    });
    return generation;
}
