#include "model/LocalSearch.h"

#include <sys/stat.h>

#include <QFile>

#include <algorithm>
#include <exception>
#include <memory>

#include "model/SearchIndex.h"

namespace {

// The connection of this thread to an index file, kept from one search to
// the next: the pages a search reads stay in its cache and its mapping of
// the file, where a new connection would read them all again. It is opened
// anew when the file is another one (rebuilt) or has changed on disk.
struct Connection {
    QString file;
    struct stat seen {};
    std::unique_ptr<SearchIndex> index;
};

SearchIndex& connectionTo(const QString& indexFile)
{
    thread_local Connection connection;
    struct stat now {};
    const bool exists = ::stat(QFile::encodeName(indexFile).constData(), &now) == 0;
    const bool same = connection.index && connection.file == indexFile && exists &&
                      now.st_dev == connection.seen.st_dev && now.st_ino == connection.seen.st_ino &&
                      now.st_ctim.tv_sec == connection.seen.st_ctim.tv_sec &&
                      now.st_ctim.tv_nsec == connection.seen.st_ctim.tv_nsec;
    if (!same) {
        connection.index.reset();
        connection.index = std::make_unique<SearchIndex>(indexFile, SearchIndex::Access::Read);
        connection.file = indexFile;
        connection.seen = now;
        // An index that is not there yet, or not usable yet, is looked at again next time.
        if (!exists || !connection.index->available())
            connection.file.clear();
    }
    return *connection.index;
}

} // namespace

SearchAnswer runIndexSearch(const QString& indexFile, const SearchQuery& query)
{
    SearchAnswer answer;
    answer.query = query;
    try {
        SearchIndex& index = connectionTo(indexFile);
        // One more than asked tells whether the list is cut.
        SearchQuery oneMore = query;
        oneMore.limit = std::max(query.limit, 0) + 1;
        oneMore.count = std::min(query.count, std::max(query.limit, 0) - std::max(query.from, 0));
        answer.hits = index.search(oneMore, &answer.found);
        answer.more = answer.found > oneMore.limit - 1;
        answer.found = std::min(answer.found, oneMore.limit - 1);
        answer.complete = index.isComplete();
        answer.indexed = index.datasetCount();
    } catch (const SearchIndexError& e) {
        answer.hits.clear();
        answer.found = 0;
        answer.more = false;
        answer.error = QString::fromUtf8(e.what());
        answer.fault = e.fault();
    } catch (const std::exception& e) {
        answer.hits.clear();
        answer.found = 0;
        answer.more = false;
        answer.error = QString::fromUtf8(e.what());
        answer.fault = IndexFault::Failed;
    }
    return answer;
}
