#include "model/ListingService.h"

#include <QMetaObject>
#include <QRunnable>
#include <QThreadPool>
#include <QTimer>
#include <mutex>

#include "support/PathOps.h"

// What a worker needs to hand its answer back: the service while it lives.
// The destructor clears `owner` under the lock, so a worker never posts to
// a service being destroyed.
struct ListingService::Channel {
    std::mutex mutex;
    ListingService* owner = nullptr; // guarded by mutex
};

ListingService::ListingService(QObject* parent)
    : QObject(parent), m_channel(std::make_shared<Channel>()), m_pool(new QThreadPool)
{
    qRegisterMetaType<DirectoryListing>("DirectoryListing");
    m_channel->owner = this;
    m_pool->setMaxThreadCount(m_baseThreads);
    m_pool->setExpiryTimeout(10000);
}

ListingService::~ListingService()
{
    {
        const std::lock_guard lock(m_channel->mutex);
        m_channel->owner = nullptr;
    }
    for (auto& [id, pending] : m_pending)
        pending.cancelled->store(true);
    for (auto& [id, flag] : m_abandoned)
        flag->store(true);
    m_pool->clear();
    // A worker blocked in a hung mount may never return; closing the window
    // must not wait for it. Such a pool is left behind on purpose.
    if (m_pool->waitForDone(200))
        delete m_pool;
}

quint64 ListingService::request(const std::string& dir)
{
    const quint64 id = ++m_next;
    Pending pending;
    pending.cancelled = std::make_shared<std::atomic_bool>(false);
    pending.dir = dir;
    pending.timer = new QTimer(this);
    pending.timer->setSingleShot(true);
    connect(pending.timer, &QTimer::timeout, this, [this, id] { timedOut(id); });
    pending.timer->start(m_timeoutMs);
    auto cancelled = pending.cancelled;
    m_pending.emplace(id, std::move(pending));

    auto channel = m_channel;
    m_pool->start(QRunnable::create([channel, cancelled, dir, id] {
        if (cancelled->load())
            return;
        DirectoryListing listing = listDirectory(dir, [cancelled] { return cancelled->load(); });
        const std::lock_guard lock(channel->mutex);
        if (ListingService* owner = channel->owner)
            QMetaObject::invokeMethod(
                owner, [owner, id, listing = std::move(listing)] { owner->answered(id, listing); },
                Qt::QueuedConnection);
    }));
    return id;
}

void ListingService::cancel(quint64 request)
{
    auto it = m_pending.find(request);
    if (it == m_pending.end())
        return;
    it->second.cancelled->store(true);
    delete it->second.timer;
    m_pending.erase(it);
}

void ListingService::answered(quint64 request, const DirectoryListing& listing)
{
    if (m_abandoned.erase(request)) {
        // A late answer after its timeout: the extra thread is no longer needed.
        m_pool->setMaxThreadCount(std::max(m_baseThreads, m_pool->maxThreadCount() - 1));
        return;
    }
    auto it = m_pending.find(request);
    if (it == m_pending.end())
        return; // cancelled
    delete it->second.timer;
    m_pending.erase(it);
    emit listed(request, listing);
}

void ListingService::timedOut(quint64 request)
{
    auto it = m_pending.find(request);
    if (it == m_pending.end())
        return;
    DirectoryListing listing;
    listing.dir = IncludeTrailingPathDelimiter(it->second.dir);
    listing.error = QStringLiteral("No answer from %1 within %2 s: the share may be unavailable")
                        .arg(DecodeFileName(listing.dir))
                        .arg(m_timeoutMs / 1000.0);
    it->second.cancelled->store(true); // should it come back, it stops early
    m_abandoned.emplace(request, it->second.cancelled);
    it->second.timer->deleteLater();
    m_pending.erase(it);
    // The stuck worker holds a thread, perhaps for ever: one more keeps the
    // others moving (bounded, so a dead share cannot grow it without end).
    if (m_pool->maxThreadCount() < m_baseThreads + 32)
        m_pool->setMaxThreadCount(m_pool->maxThreadCount() + 1);
    emit listed(request, listing);
}
