#include "app/MetadataViews.h"

#include "xml/PreparedPages.h"
#include "xml/XslTransform.h"

#include <QFile>
#include <QStandardPaths>

#include "support/ScratchFolder.h"

namespace {

std::size_t indexOf(MetadataPage page)
{
    return static_cast<std::size_t>(page);
}

// The one worker of the views, for every window. Jobs run one at a time,
// so the scratch files of a window are never written by two jobs at once
// (unless one got stuck and was abandoned).
WorkerPool& viewWorker()
{
    // Never destroyed: a job stuck on a share may outlive every window.
    static WorkerPool* pool = new WorkerPool(QStringLiteral("metadata views"), 1, 3);
    return *pool;
}

// Per user (the cache location lies in the home folder) and per window
// (a new folder each time), never in the program's folder, which an
// installation leaves read-only.
QString scratchBase()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
}

const QString kScratchPrefix = QStringLiteral("views");

// A page rendered ahead that takes longer (a share that stopped answering)
// is given up, so that the requests behind it do not wait for it.
constexpr int kAheadTimeoutMs = 2000;

} // namespace

MetadataViews::MetadataViews(QObject* parent)
    : QObject(parent), m_prepared(std::make_shared<PreparedPages>()),
      m_scratch(std::make_unique<ScratchFolder>(scratchBase(), kScratchPrefix))
{
    if (!m_scratch->path().isEmpty())
        m_scratchFolder = QFile::encodeName(m_scratch->path()).toStdString() + '/';
    // The folders of windows that crashed are removed once per start, on
    // the worker: the cache may lie on a slow home share.
    static bool swept = false;
    if (!std::exchange(swept, true))
        runInBackground<int>(viewWorker(), this, [base = scratchBase()](QPromise<int>& promise) {
            promise.addResult(ScratchFolder::removeAbandoned(base, kScratchPrefix));
        });
}

MetadataViews::~MetadataViews()
{
    // Jobs not started yet never start; the pages' jobs are children and go
    // with this object.
    for (BackgroundJob<MetadataView>* job : m_jobs)
        if (job)
            job->cancel();
    for (BackgroundJob<bool>* job : m_ahead)
        job->cancel();
    for (BackgroundJob<bool>* job : m_stopped)
        job->cancel();
}

void MetadataViews::request(const MetadataViewRequest& request)
{
    const std::size_t page = indexOf(request.page);
    // What the page asked before is not wanted any more; not started yet,
    // it never starts.
    cancel(request.page);
    // Nor is what was to be rendered ahead for the selection before.
    if (request.page != MetadataPage::Thumbnail)
        stopPreparing();
    m_asked[page] = request;
    // The job tells when the file is in, so that a page that waits too long
    // can say whether the folder or the work on the document held it up.
    m_asked[page].progress = std::make_shared<MetadataViewProgress>();
    MetadataViewRequest job = m_asked[page];
    if (job.page == MetadataPage::Rendered)
        job.scratchFolder = m_scratchFolder;
    auto* running = runInBackground<MetadataView>(
        viewWorker(), this, [run = m_job, job, prepared = m_prepared](QPromise<MetadataView>& promise) {
            std::optional<MetadataView> kept;
            if (job.page != MetadataPage::Thumbnail)
                kept = prepared->take(job);
            promise.addResult(kept ? std::move(*kept) : run(job));
        });
    m_jobs[page] = running;
    running->onResult([this, page](const MetadataView& view) {
        m_jobs[page] = nullptr;
        emit ready(view);
    });
    running->onFinished([this, page, running](const QString& error) {
        if (m_jobs[page] != running)
            return; // answered
        m_jobs[page] = nullptr;
        MetadataView view;
        view.request = m_asked[page];
        view.hasMetadata = true;
        view.error = error.toStdString();
        emit ready(view);
    });
    running->onTimeout(m_timeoutMs, [this, page] { giveUp(page); });
}

void MetadataViews::cancel(MetadataPage page)
{
    const std::size_t index = indexOf(page);
    if (BackgroundJob<MetadataView>* job = std::exchange(m_jobs[index], nullptr))
        job->cancel();
}

void MetadataViews::prepare(const std::vector<MetadataViewRequest>& requests)
{
    stopPreparing();
    for (MetadataViewRequest request : requests) {
        if (request.page == MetadataPage::Thumbnail)
            continue;
        if (request.page == MetadataPage::Rendered)
            request.scratchFolder = m_scratchFolder;
        auto* job = runInBackground<bool>(viewWorker(), this,
                                          [run = m_job, request, prepared = m_prepared](QPromise<bool>& promise) {
                                              promise.addResult(prepared->prepare(request, run));
                                          });
        m_ahead.push_back(job);
        const auto forget = [this, job] {
            std::erase(m_ahead, job);
            std::erase(m_stopped, job);
        };
        job->onFinished([forget](const QString&) { forget(); });
        job->onTimeout(kAheadTimeoutMs, forget);
    }
}

void MetadataViews::stopPreparing()
{
    // Not started, they never start. One that runs ends by itself, or is
    // given up at its time-out (stuck on a share): the page asked for
    // meanwhile must not wait behind it.
    for (BackgroundJob<bool>* job : std::exchange(m_ahead, {})) {
        job->future().cancel();
        m_stopped.push_back(job);
    }
}

bool MetadataViews::busy() const
{
    return m_jobs[0] || m_jobs[1] || m_jobs[2] || !m_ahead.empty();
}

void MetadataViews::giveUp(std::size_t page)
{
    // The job was abandoned: the next ones do not wait for it. (Should it
    // come back later, it may write this window's scratch files beside a
    // newer one: the page shown is the newer one's, parsed from memory.)
    m_jobs[page] = nullptr;
    MetadataView view;
    view.request = m_asked[page];
    view.hasMetadata = true;
    // Only a file that is not in yet is the folder's fault; once it has
    // been read, the time went into parsing and rendering it here.
    const bool read = view.request.progress && view.request.progress->read();
    const std::string seconds = QString::number(m_timeoutMs / 1000.0).toStdString();
    const std::string explanation =
        read ? "The metadata file was read, but preparing it for this page took longer than " + seconds
                   + " s: the document is too large or too complex to be shown in time."
             : "The metadata did not arrive within " + seconds + " s: the folder that holds it does not answer.";
    if (view.request.page == MetadataPage::Thumbnail) {
        view.error = explanation;
    } else {
        view.page = ErrorPage(read ? "The page took too long" : "No answer from the share", explanation,
                              view.request.metadataPath);
        view.pagePath = view.request.metadataPath;
        view.baseFolder = view.request.metadataPath.substr(0, view.request.metadataPath.rfind('/') + 1);
    }
    emit ready(view);
}
