#include "model/ListingService.h"

#include "support/PathOps.h"

ListingService::ListingService(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<std::shared_ptr<const DirectoryListing>>();
    m_pool.setGrace(200);
}

ListingService::~ListingService()
{
    // The jobs go with this object (they are its children) and abandon
    // their reads; the pool does not wait for a stuck one.
    for (auto& [id, job] : m_pending)
        job->abandon();
    m_pending.clear();
}

quint64 ListingService::request(const std::string& dir)
{
    const quint64 id = ++m_next;
    using Answer = std::shared_ptr<const DirectoryListing>;
    auto* job = runInBackground<Answer>(m_pool, this, [dir](QPromise<Answer>& promise) {
        promise.addResult(std::make_shared<const DirectoryListing>(
            listDirectory(dir, [&promise] { return promise.isCanceled(); })));
    });
    m_pending.emplace(id, job);
    job->onResult([this, id](const Answer& listing) {
        if (m_pending.erase(id))
            emit listed(id, listing);
    });
    job->onFinished([this, id](const QString& error) {
        // A read that threw (out of memory) answers with its error.
        if (!m_pending.erase(id))
            return;
        auto listing = std::make_shared<DirectoryListing>();
        listing->error = error;
        emit listed(id, listing);
    });
    job->onTimeout(m_timeoutMs, [this, id, dir] {
        m_pending.erase(id);
        auto listing = std::make_shared<DirectoryListing>();
        listing->dir = IncludeTrailingPathDelimiter(dir);
        listing->error = QStringLiteral("No answer from %1 within %2 s: the share may be unavailable")
                             .arg(DecodeFileName(listing->dir))
                             .arg(m_timeoutMs / 1000.0);
        emit listed(id, listing);
    });
    return id;
}

void ListingService::cancel(quint64 request)
{
    auto it = m_pending.find(request);
    if (it == m_pending.end())
        return;
    it->second->cancel();
    m_pending.erase(it);
}
