#include "model/SearchService.h"

#include <algorithm>
#include <exception>

SearchAnswer runIndexSearch(const QString& indexFile, const SearchQuery& query)
{
    SearchAnswer answer;
    try {
        SearchIndex index(indexFile, SearchIndex::Access::Read);
        // One more than asked tells whether the list is cut.
        SearchQuery oneMore = query;
        oneMore.limit = query.limit + 1;
        answer.hits = index.search(oneMore);
        if (answer.hits.size() > size_t(std::max(query.limit, 0))) {
            answer.hits.resize(size_t(std::max(query.limit, 0)));
            answer.more = true;
        }
        answer.complete = index.isComplete();
        answer.indexed = index.datasetCount();
    } catch (const SearchIndexError& e) {
        answer = SearchAnswer();
        answer.error = QString::fromUtf8(e.what());
        answer.fault = e.fault();
    } catch (const std::exception& e) {
        answer = SearchAnswer();
        answer.error = QString::fromUtf8(e.what());
        answer.fault = IndexFault::Failed;
    }
    return answer;
}

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

unsigned SearchService::request(const QString& indexFile, const SearchQuery& query)
{
    // A request not started yet is outrun by this one.
    forget();
    const unsigned generation = m_generation;
    m_job = runInBackground<SearchAnswer>(m_pool, this, [indexFile, query, generation](QPromise<SearchAnswer>& promise) {
        SearchAnswer answer = runIndexSearch(indexFile, query);
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
