#include "StoreIndexer.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <mutex>
#include <exception>
#include <vector>

#include "PathOps.h"
#include "SearchIndex.h"

IndexSettings IndexSettings::fromConfiguration(const std::string& root, const QString& indexFile)
{
    return IndexSettings{IncludeTrailingPathDelimiter(root), indexFile, SearchFieldPaths::fromConfiguration()};
}

namespace {

// Commits often enough that a search sees the index grow while it is built.
constexpr qint64 kCommitMs = 250;
constexpr qint64 kProgressMs = 50;

} // namespace

namespace {

// One update; an error of the index or of the file system is thrown.
void runUpdate(const IndexSettings& settings, const std::function<bool()>& cancelled,
               const std::function<void(int, int)>& progress, IndexReport& report)
{
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    auto tell = [&](int done, int total, bool force) {
        if (progress && (force || sinceProgress.elapsed() >= kProgressMs)) {
            progress(done, total);
            sinceProgress.restart();
        }
    };
    {
        SearchIndex index(settings.indexFile);
        if (!index.notice().isEmpty())
            report.notice = index.notice();
        auto known = index.indexedFiles();

        std::vector<WalkedDataset> found;
        const bool walked = walkStore(settings.root, cancelled, [&](WalkedDataset&& d) {
            found.push_back(std::move(d));
            tell(int(found.size()), 0, false);
        });
        if (!walked) {
            report.cancelled = true;
            return;
        }
        report.total = int(found.size());
        tell(0, report.total, true);

        const bool firstBuild = !index.isComplete();
        QElapsedTimer sinceCommit;
        sinceCommit.start();
        index.begin();
        int done = 0;
        int sinceCommitCount = 0;
        for (const WalkedDataset& d : found) {
            if (cancelled && cancelled()) {
                index.commit();
                report.cancelled = true;
                return;
            }
            const auto it = known.find(d.path);
            int64_t id = 0;
            if (it != known.end()) {
                id = it->second.id;
                const bool same = it->second.size == d.size && it->second.mtime == d.mtime;
                known.erase(it);
                if (same) {
                    ++report.unchanged;
                    tell(++done, report.total, false);
                    continue;
                }
            }
            const QString rel = DecodeFileName(d.path.substr(std::min(settings.root.size(), d.path.size())));
            SearchFields fields;
            QString error;
            bool readable = true;
            if (d.size >= 0) {
                readable = readSearchFields(d.xmlPath, settings.fields, fields, error);
                ++report.read;
            }
            index.put(id, d.path, d.xmlPath, rel, d.category, d.size, d.mtime, readable ? &fields : nullptr, error);
            ++sinceCommitCount;
            if (settings.commitEvery > 0 ? sinceCommitCount >= settings.commitEvery
                                         : sinceCommit.elapsed() >= kCommitMs) {
                sinceCommitCount = 0;
                index.commit();
                index.begin();
                sinceCommit.restart();
            }
            tell(++done, report.total, false);
        }
        for (const auto& [path, gone] : known) {
            index.remove(gone.id);
            ++report.removed;
        }
        if (firstBuild)
            index.setComplete(true);
        index.commit();
        report.unreadable = index.unreadable();
        tell(done, report.total, true);
    }
}

} // namespace

IndexReport updateStoreIndex(const IndexSettings& settings, const std::function<bool()>& cancelled,
                             const std::function<void(int, int)>& progress)
{
    IndexReport report;
    try {
        runUpdate(settings, cancelled, progress, report);
        return report;
    } catch (const std::exception& e) {
        report = IndexReport();
        report.notice = QStringLiteral("The search index %1 was rebuilt: %2")
                            .arg(settings.indexFile, QString::fromUtf8(e.what()));
    }
    // The index is a cache: a file that fails in the middle of an update
    // (damaged pages) is built again from the store, once.
    try {
        SearchIndex::discard(settings.indexFile);
        runUpdate(settings, cancelled, progress, report);
    } catch (const std::exception& e) {
        report.error = QString::fromUtf8(e.what());
    }
    return report;
}



// What a worker shares with its StoreIndexer: the cancel flag, and the
// owner to post answers to, cleared under the mutex when the owner goes.
struct StoreIndexer::Channel {
    std::atomic_bool cancelled{false};
    std::mutex mutex;
    StoreIndexer* owner = nullptr; // guarded by mutex

    template <class F>
    void post(F&& answer)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (owner)
            QMetaObject::invokeMethod(owner, std::forward<F>(answer), Qt::QueuedConnection);
    }
};

StoreIndexer::StoreIndexer(QObject* parent) : QObject(parent) {}

StoreIndexer::~StoreIndexer()
{
    stopWorker();
}

void StoreIndexer::stopWorker()
{
    if (!m_thread)
        return;
    ++m_generation;
    m_channel->cancelled = true;
    {
        const std::lock_guard<std::mutex> lock(m_channel->mutex);
        m_channel->owner = nullptr;
    }
    // The worker checks the flag between entries; only a file system that
    // does not answer keeps it longer, and the window must not wait for that.
    if (m_thread->wait(QDeadlineTimer(2000))) {
        delete m_thread;
    } else {
        m_thread->setParent(nullptr);
        connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    }
    m_thread = nullptr;
    m_channel.reset();
}

void StoreIndexer::cancel()
{
    if (m_channel)
        m_channel->cancelled = true;
}

void StoreIndexer::start(const IndexSettings& settings)
{
    stopWorker();
    const unsigned generation = ++m_generation;
    m_channel = std::make_shared<Channel>();
    m_channel->owner = this;
    m_indexFile = settings.indexFile;
    auto channel = m_channel;
    // The worker's answers are queued to this object's thread; an answer of
    // a run that has been replaced or stopped is dropped there.
    m_thread = QThread::create([this, settings, channel, generation] {
        IndexReport report = updateStoreIndex(
            settings, [channel] { return channel->cancelled.load(); },
            [this, channel, generation](int done, int total) {
                channel->post([this, generation, done, total] {
                    if (generation == m_generation)
                        emit progress(done, total);
                });
            });
        channel->post([this, generation, report] {
            if (generation != m_generation)
                return;
            if (m_thread) {
                m_thread->wait();
                delete m_thread;
                m_thread = nullptr;
                m_channel.reset();
            }
            emit finished(report);
        });
    });
    m_thread->start();
}
