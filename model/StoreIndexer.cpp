#include "model/StoreIndexer.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <exception>
#include <future>
#include <mutex>
#include <vector>

#include "support/OrderedWork.h"
#include "support/PathOps.h"
#include "model/SearchIndex.h"

IndexSettings IndexSettings::fromConfiguration(const std::string& root, const QString& indexFile)
{
    return IndexSettings{IncludeTrailingPathDelimiter(root), indexFile, SearchFieldPaths::fromConfiguration()};
}

namespace {

// Commits often enough that a search sees the index grow while it is built.
constexpr qint64 kCommitMs = 250;
constexpr qint64 kProgressMs = 50;
// How often an update waiting for another window's tries again: its
// holder's death is seen that soon.
constexpr int kRetryBusyMs = 1000;

// Documents are handed from the reading threads to the writer in batches:
// handing over each one alone cost about a tenth more processor time.
constexpr size_t kBatch = 32;
constexpr size_t kBatchesAhead = 32; // read beyond what is written, at most

// Threads that read documents while this one writes the index. Two keep a
// writer busy on a machine of two cores; beyond four the writer is the
// limit anyway.
size_t documentReaders()
{
    return size_t(std::clamp(QThread::idealThreadCount(), 2, 4));
}

// One update; an error of the index or of the file system is thrown.
// `rebuilt` hears at once when the file had to be made anew.
void runUpdate(const IndexSettings& settings, const std::function<bool()>& cancelled,
               const std::function<void(int, int)>& progress,
               const std::function<void(SearchIndex::Rebuilt)>& rebuilt, IndexReport& report)
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
        SearchIndex index(settings.indexFile, SearchIndex::Access::Write, settings.checkThoroughly,
                          settings.lockWaitMs);
        if (index.rebuilt() != SearchIndex::Rebuilt::No)
            rebuilt(index.rebuilt());
        else if (settings.skipIfUpdatedAfter > 0 && index.isComplete() &&
                 index.lastUpdate() > settings.skipIfUpdatedAfter) {
            report.upToDate = true;
            report.total = index.datasetCount();
            report.unreadable = index.unreadable();
            return;
        }

        // The store is walked while what the index holds is read: both take
        // long on a large store, one waiting on the file system, the other
        // on the index file.
        std::vector<WalkedDataset> found;
        std::atomic_bool abandon{false};
        const auto stopWalk = [&] { return abandon || (cancelled && cancelled()); };
        auto walking = std::async(std::launch::async, [&] {
            return walkStore(settings.root, stopWalk, [&](WalkedDataset&& d) {
                found.push_back(std::move(d));
                tell(int(found.size()), 0, false);
            });
        });
        std::unordered_map<std::string, IndexedFile> known;
        try {
            known = index.indexedFiles();
        } catch (...) {
            abandon = true;
            walking.wait(); // it uses this frame; it looks at the flag every 50 ms
            throw;
        }
        const bool walked = walking.get();
        if (!walked) {
            report.cancelled = true;
            return;
        }
        report.total = int(found.size());
        tell(0, report.total, true);

        const bool firstBuild = !index.isComplete();
        // What changed is read by several threads at once, parsing being
        // most of the work, and written here in the order of the walk.
        int done = 0;
        std::vector<std::pair<const WalkedDataset*, int64_t>> changed; // with the row to replace, or 0
        auto toRead = std::make_shared<std::vector<std::string>>();  // "" where there is no document
        for (const WalkedDataset& d : found) {
            const auto it = known.find(d.path);
            int64_t id = 0;
            if (it != known.end()) {
                id = it->second.id;
                const bool same = it->second.size == d.size && it->second.mtime == d.mtime;
                known.erase(it);
                if (same) {
                    ++report.unchanged;
                    ++done;
                    continue;
                }
            }
            changed.emplace_back(&d, id);
            toRead->push_back(d.size >= 0 ? d.xmlPath : std::string());
        }
        tell(done, report.total, false);

        struct Read {
            SearchFields fields;
            QString error;
            bool readable = true;
        };
        const size_t batches = (toRead->size() + kBatch - 1) / kBatch;
        auto reader = std::make_shared<const SearchFieldReader>(settings.fields);
        OrderedWork<std::vector<Read>> reading(
            batches, documentReaders(),
            [reader, toRead](size_t batch, const std::function<bool()>& stop) {
                std::vector<Read> reads;
                for (size_t i = batch * kBatch; i < std::min(toRead->size(), (batch + 1) * kBatch) && !stop(); ++i) {
                    Read& r = reads.emplace_back();
                    if (!(*toRead)[i].empty())
                        r.readable = reader->read((*toRead)[i], r.fields, r.error);
                }
                return reads;
            },
            kBatchesAhead);
        QElapsedTimer sinceCommit;
        sinceCommit.start();
        index.begin();
        int sinceCommitCount = 0;
        std::vector<Read> batch;
        for (size_t i = 0; i < changed.size(); ++i) {
            const auto& [d, id] = changed[i];
            // A batch comes whole unless the readers were stopped.
            if ((cancelled && cancelled()) || (i % kBatch == 0 && !reading.take(batch, cancelled)) ||
                i % kBatch >= batch.size()) {
                index.commit();
                report.cancelled = true;
                return;
            }
            const Read& r = batch[i % kBatch];
            if (d->size >= 0)
                ++report.read;
            const QString rel = DecodeFileName(d->path.substr(std::min(settings.root.size(), d->path.size())));
            index.put(id, d->path, d->xmlPath, rel, d->category, d->size, d->mtime, r.readable ? &r.fields : nullptr,
                      r.error);
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
        index.setLastUpdate(QDateTime::currentMSecsSinceEpoch());
        index.commit();
        report.unreadable = index.unreadable();
        tell(done, report.total, true);
    }
}

} // namespace

QString serverName(const std::string& root)
{
    return DecodeFileName(root.size() > 1 ? ExcludeTrailingPathDelimiter(root) : root);
}

namespace {

// Why no file can be made in `folder` (created first when missing), as the
// system's error number; 0 when one can.
int whyNotWritable(const QString& folder)
{
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
    if (error)
        return error.value();
    QByteArray probe = QFile::encodeName(folder) + "/.atlasdesk-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return errno;
    ::close(fd);
    ::unlink(probe.constData());
    return 0;
}

// Fills `report` for an update that could not write the index, because of
// the system's `error` (ENOSPC, EACCES, ...) or with SQLite's `cause`.
void cannotWrite(IndexReport& report, const IndexSettings& settings, IndexFault fault, const QString& cause)
{
    report.fault = fault;
    const QString folder = QDir::toNativeSeparators(QFileInfo(settings.indexFile).absolutePath());
    const QString server = serverName(settings.root);
    const QString there = QFileInfo(settings.indexFile).isFile()
                              ? QStringLiteral("searches use the index that is there")
                              : QStringLiteral("there is no index to search yet");
    if (fault == IndexFault::DiskFull)
        report.error = QStringLiteral("The disk is full: the search index of %1 cannot be brought up to date in %2, "
                                      "so the update was stopped; %3")
                           .arg(server, folder, there);
    else
        report.error = QStringLiteral("The search index of %1 cannot be written in %2 (%3); %4")
                           .arg(server, folder, cause, there);
}

void cannotWrite(IndexReport& report, const IndexSettings& settings, int error)
{
    cannotWrite(report, settings, error == ENOSPC || error == EDQUOT ? IndexFault::DiskFull : IndexFault::Unwritable,
                QString::fromLocal8Bit(std::strerror(error)));
}

// Fills `report` for an update stopped by `error`.
void failed(IndexReport& report, const IndexSettings& settings, const SearchIndexError& error)
{
    const QString server = serverName(settings.root);
    const QString cause = QString::fromUtf8(error.what());
    switch (error.fault()) {
    case IndexFault::DiskFull:
    case IndexFault::Unwritable:
        cannotWrite(report, settings, error.fault(), cause);
        return;
    case IndexFault::Locked:
        report.error = QStringLiteral("The search index of %1 is in use by another program").arg(server);
        break;
    case IndexFault::Damaged:
        report.error = QStringLiteral("The search index of %1 is damaged again after it was rebuilt (%2)").arg(server, cause);
        break;
    case IndexFault::None:
    case IndexFault::Failed:
        report.error = QStringLiteral("The search index of %1 could not be brought up to date: %2").arg(server, cause);
        break;
    }
    report.fault = error.fault() == IndexFault::None ? IndexFault::Failed : error.fault();
}

} // namespace

IndexReport updateStoreIndex(const IndexSettings& settings, const std::function<bool()>& cancelled,
                             const std::function<void(int, int)>& progress,
                             const std::function<void(const QString&)>& notice)
{
    IndexReport report;
    // Two windows, or two instances of the program, on one server share its
    // index: both writing the same rows would fail each other's updates.
    // The lock is freed only by its holder or by the holder's death, not
    // by age: a first build of a large store takes minutes.
    const QString folder = QFileInfo(settings.indexFile).absolutePath();
    QDir().mkpath(folder);
    QLockFile lock(settings.indexFile + QStringLiteral(".lock"));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        if (lock.error() == QLockFile::LockFailedError) {
            report.busy = true;
            return report;
        }
        // No lock file can be made: neither can the index be written.
        const int error = whyNotWritable(folder);
        cannotWrite(report, settings, error != 0 ? error : EACCES);
        return report;
    }

    const QString server = serverName(settings.root);
    QString rebuiltNotice; // what the report says when the new build gets through
    const auto rebuilt = [&](SearchIndex::Rebuilt why) {
        const bool damaged = why == SearchIndex::Rebuilt::Damaged;
        if (notice)
            notice(damaged ? QStringLiteral("The search index of %1 was damaged and is being rebuilt").arg(server)
                           : QStringLiteral("The search index of %1 was made by another version of Atlasdesk "
                                            "and is being built anew")
                                 .arg(server));
        rebuiltNotice = damaged ? QStringLiteral("The search index of %1 was damaged and has been rebuilt").arg(server)
                                : QStringLiteral("The search index of %1 was made by another version of Atlasdesk "
                                                 "and has been built anew")
                                      .arg(server);
    };
    for (bool again = false;; again = true) {
        report = IndexReport();
        try {
            runUpdate(settings, cancelled, progress, rebuilt, report);
            if (!report.cancelled)
                report.notice = rebuiltNotice;
            return report;
        } catch (const SearchIndexError& e) {
            // The index is a cache: a file that turns out damaged in the
            // middle of an update is built again from the store, once. Any
            // other fault leaves it as it is: a lock is not damage, and a
            // full disk would only fill up again.
            // What was counted stays: the report says how far the update got.
            report.notice.clear();
            report.cancelled = false;
            if (e.fault() == IndexFault::Damaged && !again) {
                SearchIndex::discard(settings.indexFile);
                if (!QFileInfo::exists(settings.indexFile)) {
                    rebuilt(SearchIndex::Rebuilt::Damaged);
                    continue;
                }
                cannotWrite(report, settings, IndexFault::Unwritable,
                            QStringLiteral("the damaged index file cannot be removed"));
                return report;
            }
            failed(report, settings, e);
        } catch (const std::exception& e) {
            report.notice.clear();
            report.cancelled = false;
            report.fault = IndexFault::Failed;
            report.error = QStringLiteral("The search index of %1 could not be brought up to date: %2")
                               .arg(server, QString::fromUtf8(e.what()));
        }
        return report;
    }
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
    m_state = State::Idle;
    m_notice.clear();
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
    m_state = State::Updating;
    auto channel = m_channel;
    // The worker's answers are queued to this object's thread; an answer of
    // a run that has been replaced or stopped is dropped there.
    m_thread = QThread::create([this, settings, channel, generation] {
        const auto cancelled = [channel] { return channel->cancelled.load(); };
        const auto tell = [this, channel, generation](State state, const QString& text) {
            channel->post([this, generation, state, text] {
                if (generation != m_generation)
                    return;
                m_state = state;
                m_notice = text;
                emit notice(text);
            });
        };
        // Waits `ms`, looking at the cancel flag; false when cancelled.
        const auto pause = [&cancelled](int ms) {
            QElapsedTimer waited;
            waited.start();
            while (!cancelled()) {
                if (waited.elapsed() >= ms)
                    return true;
                QThread::msleep(50);
            }
            return false;
        };
        IndexSettings run = settings;
        IndexReport report;
        for (State waiting = State::Updating;;) {
            report = updateStoreIndex(
                run, cancelled,
                [this, channel, generation](int done, int total) {
                    channel->post([this, generation, done, total] {
                        if (generation != m_generation)
                            return;
                        if (m_state != State::Updating)
                            m_notice.clear(); // the wait is over
                        m_state = State::Updating;
                        emit progress(done, total);
                    });
                },
                [&tell](const QString& text) { tell(State::Updating, text); });
            if (report.busy) {
                // Another window's update runs: its end (or its holder's
                // death) is looked for every second. When it went through
                // the store meanwhile, there is nothing left to do here.
                if (waiting != State::WaitingForOtherUpdate)
                    tell(State::WaitingForOtherUpdate,
                         QStringLiteral("Another Atlasdesk window is bringing the search index of %1 up to date")
                             .arg(serverName(settings.root)));
                waiting = State::WaitingForOtherUpdate;
                if (run.skipIfUpdatedAfter == 0 && !run.checkThoroughly)
                    run.skipIfUpdatedAfter = QDateTime::currentMSecsSinceEpoch();
                if (pause(kRetryBusyMs))
                    continue;
            } else if (report.fault == IndexFault::Locked && !cancelled()) {
                waiting = State::WaitingForLock;
                tell(State::WaitingForLock, report.error + QStringLiteral(": the update tries again in %1 s")
                                                                 .arg(std::max(1, settings.lockRetryMs / 1000)));
                if (pause(settings.lockRetryMs))
                    continue;
            } else {
                break;
            }
            report = IndexReport();
            report.cancelled = true;
            break;
        }
        channel->post([this, generation, report] {
            if (generation != m_generation)
                return;
            if (m_thread) {
                m_thread->wait();
                delete m_thread;
                m_thread = nullptr;
                m_channel.reset();
            }
            m_state = State::Idle;
            m_notice.clear();
            emit finished(report);
        });
    });
    m_thread->start();
}
