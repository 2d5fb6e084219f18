#include "app/MetadataViews.h"

#include "xml/XslTransform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <mutex>

// What a job needs to know about the window that asked: whether its answer
// is still wanted, and where to send it. The window clears `receiver` when
// it goes; a job that finishes later drops its answer.
struct MetadataViews::Channel {
    std::mutex mutex;
    MetadataViews* receiver = nullptr;              // guarded by mutex
    std::array<std::atomic<std::uint64_t>, 3> newest{}; // written by the window thread, read by jobs
};

namespace {

std::size_t indexOf(MetadataPage page)
{
    return static_cast<std::size_t>(page);
}

// The one worker of the views. Jobs run one at a time, so the scratch files
// of a window are never written by two jobs at once.
QThreadPool* viewWorker()
{
    static QPointer<QThreadPool> pool;
    if (!pool) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(1);
        pool->setObjectName(QStringLiteral("metadata views"));
    }
    return pool;
}

std::unique_ptr<QTemporaryDir> makeScratchFolder()
{
    // Per user (the cache location lies in the home folder) and per window
    // (a new folder each time), never in the program's folder, which an
    // installation leaves read-only.
    QString base = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (base.isEmpty() || !QDir().mkpath(base))
        base = QDir::tempPath();
    auto folder = std::make_unique<QTemporaryDir>(base + QStringLiteral("/views-XXXXXX"));
    if (!folder->isValid())
        folder = std::make_unique<QTemporaryDir>();
    return folder;
}

// Threads the worker may grow to when jobs get stuck on a share.
constexpr int kMostThreads = 4;

} // namespace

MetadataViews::MetadataViews(QObject* parent)
    : QObject(parent), m_channel(std::make_shared<Channel>()), m_scratch(makeScratchFolder())
{
    m_channel->receiver = this;
    for (std::size_t page = 0; page < m_timers.size(); ++page) {
        m_timers[page] = new QTimer(this);
        m_timers[page]->setSingleShot(true);
        connect(m_timers[page], &QTimer::timeout, this, [this, page] { giveUp(page); });
    }
    if (m_scratch->isValid())
        m_scratchFolder = QFile::encodeName(m_scratch->path()).toStdString() + '/';
}

MetadataViews::~MetadataViews()
{
    std::lock_guard lock(m_channel->mutex);
    m_channel->receiver = nullptr;
    for (auto& newest : m_channel->newest)
        ++newest; // jobs not yet started are skipped
}

void MetadataViews::request(const MetadataViewRequest& request)
{
    const std::size_t page = indexOf(request.page);
    const std::uint64_t generation = ++m_newest[page];
    m_channel->newest[page] = generation;
    m_waiting[page] = true;
    m_asked[page] = request;
    m_timers[page]->start(m_timeoutMs);
    MetadataViewRequest job = request;
    if (job.page == MetadataPage::Rendered)
        job.scratchFolder = m_scratchFolder;
    std::shared_ptr<Channel> channel = m_channel;
    viewWorker()->start([channel, run = m_job, job, generation, page] {
        if (channel->newest[page] != generation)
            return; // a newer request came before this one started
        const MetadataView view = run(job);
        std::lock_guard lock(channel->mutex);
        if (!channel->receiver || channel->newest[page] != generation)
            return;
        MetadataViews* receiver = channel->receiver;
        QMetaObject::invokeMethod(
            receiver, [receiver, generation, view] { receiver->deliver(generation, view); }, Qt::QueuedConnection);
    });
}

void MetadataViews::cancel(MetadataPage page)
{
    const std::size_t index = indexOf(page);
    m_channel->newest[index] = ++m_newest[index];
    m_waiting[index] = false;
    m_timers[index]->stop();
}

bool MetadataViews::busy() const
{
    return m_waiting[0] || m_waiting[1] || m_waiting[2];
}

void MetadataViews::deliver(std::uint64_t generation, const MetadataView& view)
{
    const std::size_t page = indexOf(view.request.page);
    if (generation != m_newest[page])
        return;
    m_waiting[page] = false;
    m_timers[page]->stop();
    emit ready(view);
}

void MetadataViews::giveUp(std::size_t page)
{
    if (!m_waiting[page])
        return;
    m_waiting[page] = false;
    m_channel->newest[page] = ++m_newest[page]; // the late answer is dropped
    QThreadPool* worker = viewWorker();
    // A stuck job keeps its thread; the next ones get another. (A job that
    // comes back later may then write this window's scratch files beside a
    // newer one: the page shown is the newer one's, parsed from memory.)
    if (worker->maxThreadCount() < kMostThreads)
        worker->setMaxThreadCount(worker->maxThreadCount() + 1);

    MetadataView view;
    view.request = m_asked[page];
    view.hasMetadata = true;
    const std::string explanation = "The metadata did not arrive within "
                                    + QString::number(m_timeoutMs / 1000.0).toStdString()
                                    + " s: the folder that holds it does not answer.";
    if (view.request.page == MetadataPage::Thumbnail) {
        view.error = explanation;
    } else {
        view.page = ErrorPage("No answer from the share", explanation, view.request.metadataPath);
        view.pagePath = view.request.metadataPath;
        view.baseFolder = view.request.metadataPath.substr(0, view.request.metadataPath.rfind('/') + 1);
    }
    emit ready(view);
}
