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
    m_pool.setMaxThreadCount(1);
}

SearchService::~SearchService()
{
    m_pool.clear();
    m_pool.waitForDone();
}

unsigned SearchService::request(const QString& indexFile, const SearchQuery& query)
{
    const unsigned generation = ++m_generation;
    // Requests not started yet are outrun by this one.
    m_pool.clear();
    m_pool.start([this, indexFile, query, generation] {
        SearchAnswer answer = runIndexSearch(indexFile, query);
        answer.generation = generation;
        QMetaObject::invokeMethod(this, [this, answer] {
            if (answer.generation == m_generation)
                emit answered(answer);
        }, Qt::QueuedConnection);
    });
    return generation;
}
