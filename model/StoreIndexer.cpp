#include "model/StoreIndexer.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QThread>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <exception>
#include <vector>

#include "support/OrderedWork.h"
#include "support/PathOps.h"
#include "model/PathOrder.h"
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
            const IndexProblems problems = index.problems();
            report.unreadable = problems.unreadable;
            report.notRead = problems.notRead;
            report.notInDegrees = problems.notInDegrees;
            return;
        }

        // The store is walked while what the index holds is read: both take
        // long on a large store, one waiting on the file system, the other
        // on the index file.
        std::vector<WalkedDataset> found;
        std::atomic_bool abandon{false};
        const auto stopWalk = [&] { return abandon || (cancelled && cancelled()); };
        WorkerPool walker(QStringLiteral("store walk"), 1);
        QFuture<bool> walking = walker.run<bool>([&](QPromise<bool>& promise) {
            promise.addResult(walkStore(settings.root, stopWalk, [&](WalkedDataset&& d) {
                found.push_back(std::move(d));
                tell(int(found.size()), 0, false);
            }));
        });
        std::unordered_map<std::string, IndexedFile> known;
        try {
            known = index.indexedFiles();
        } catch (...) {
            abandon = true;
            walking.waitForFinished(); // it uses this frame; it looks at the flag every 50 ms
            throw;
        }
        walking.waitForFinished();
        const bool walked = walking.resultCount() > 0 && walking.result();
        std::vector<std::pair<int64_t, const std::string*>> kept; // data sets that stay: id, path
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
        struct Change {
            const WalkedDataset* dataset;
            int64_t id;     // its row; for a new data set placed below
            bool replacing; // it has a row already
        };
        std::vector<Change> changed;
        std::vector<std::string> addedKeys; // the paths of the new ones, in order
        // What the readers need of each changed data set (they may outlive
        // this frame: copies).
        struct ToRead {
            std::string xmlPath; // "" where there is no document
            std::string path;
            uint8_t category;
        };
        auto toRead = std::make_shared<std::vector<ToRead>>();
        auto relOf = [&](const std::string& path) {
            return DecodeFileNameUtf8(std::string_view(path).substr(std::min(settings.root.size(), path.size())));
        };
        for (const WalkedDataset& d : found) {
            const auto it = known.find(d.path);
            if (it != known.end()) {
                const int64_t id = it->second.id;
                const bool same = it->second.size == d.size && it->second.mtime == d.mtime;
                known.erase(it);
                kept.emplace_back(id, &d.path);
                if (same) {
                    ++report.unchanged;
                    ++done;
                    continue;
                }
                changed.push_back({&d, id, true});
            } else {
                changed.push_back({&d, 0, false});
                addedKeys.push_back(relOf(d.path));
            }
            toRead->push_back({d.size >= 0 ? d.xmlPath : std::string(), d.path, d.category});
        }
        tell(done, report.total, false);

        // New data sets take ids in path order among the others (some of
        // which may move to make room).
        std::sort(kept.begin(), kept.end());
        std::vector<int64_t> keptIds;
        keptIds.reserve(kept.size());
        for (const auto& k : kept)
            keptIds.push_back(k.first);
        const pathorder::Plan plan = pathorder::place(keptIds, [&](int64_t id) {
            const auto at = std::lower_bound(kept.begin(), kept.end(), std::make_pair(id, static_cast<const std::string*>(nullptr)));
            return relOf(*at->second);
        }, addedKeys);
        std::unordered_map<int64_t, int64_t> movedTo(plan.moves.begin(), plan.moves.end());
        for (size_t i = 0, added = 0; i < changed.size(); ++i) {
            if (!changed[i].replacing)
                changed[i].id = plan.ids[added++];
            else if (const auto m = movedTo.find(changed[i].id); m != movedTo.end())
                changed[i].id = m->second;
        }

        // The readers also cut the words, so that the writer only writes;
        // they set the update's pace, and run at the writer's priority (at
        // a lower one, other programs kept them waiting and the writer with
        // them).
        struct Read {
            IndexEntry entry;
            QString error;
        };
        const size_t batches = (toRead->size() + kBatch - 1) / kBatch;
        auto reader = std::make_shared<const SearchFieldReader>(settings.fields);
        OrderedWork<std::vector<Read>> reading(
            batches, documentReaders(),
            [reader, toRead](size_t batch, const std::function<bool()>& stop) {
                std::vector<Read> reads;
                for (size_t i = batch * kBatch; i < std::min(toRead->size(), (batch + 1) * kBatch) && !stop(); ++i) {
                    const ToRead& item = (*toRead)[i];
                    Read& r = reads.emplace_back();
                    SearchFields fields;
                    const bool readable = item.xmlPath.empty() || reader->read(item.xmlPath, fields, r.error);
                    r.entry = SearchIndex::entry(item.path, item.category, readable ? &fields : nullptr);
                }
                return reads;
            },
            kBatchesAhead, WorkerPool::Priority::Normal);
        QElapsedTimer sinceCommit;
        sinceCommit.start();
        index.begin();
        // What left the store goes first, then the moves: every row keeps
        // an id of its own in path order at each commit.
        for (const auto& [path, gone] : known) {
            index.remove(gone.id);
            ++report.removed;
        }
        known.clear();
        for (const auto& [from, to] : plan.moves)
            index.move(from, to);
        int sinceCommitCount = 0;
        std::vector<Read> batch;
        for (size_t i = 0; i < changed.size(); ++i) {
            const Change& c = changed[i];
            const WalkedDataset* d = c.dataset;
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
            index.put(c.id, c.replacing, d->path, d->xmlPath, QString::fromStdString(relOf(d->path)), d->size, d->mtime,
                      r.entry, r.error);
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
        if (firstBuild)
            index.setComplete(true);
        index.setLastUpdate(QDateTime::currentMSecsSinceEpoch());
        index.commit();
        const IndexProblems problems = index.problems();
        report.unreadable = problems.unreadable;
        report.notRead = problems.notRead;
        report.notInDegrees = problems.notInDegrees;
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

StoreIndexer::StoreIndexer(QObject* parent) : QObject(parent)
{
    // A running update stops between data sets; only a file system that
    // does not answer keeps it longer, and the window must not wait for that.
    m_pool.setGrace(2000);
}

StoreIndexer::~StoreIndexer()
{
    if (m_stop)
        *m_stop = true;
    if (BackgroundJob<IndexUpdateAnswer>* job = std::exchange(m_job, nullptr))
        job->abandon();
}

void StoreIndexer::cancel()
{
    if (m_stop)
        *m_stop = true;
}

void StoreIndexer::start(const IndexSettings& settings)
{
    // The update running is not wanted any more; the new one waits for its
    // end (one thread), which frees the index file's lock.
    if (m_stop)
        *m_stop = true;
    if (BackgroundJob<IndexUpdateAnswer>* job = std::exchange(m_job, nullptr))
        job->cancel();
    auto stop = std::make_shared<std::atomic_bool>(false);
    m_stop = stop;
    m_indexFile = settings.indexFile;
    m_state = State::Updating;
    m_notice.clear();
    auto* job = runInBackground<IndexUpdateAnswer>(m_pool, this, [settings, stop](QPromise<IndexUpdateAnswer>& promise) {
        const auto cancelled = [stop, &promise] { return *stop || promise.isCanceled(); };
        const auto tell = [&promise](State state, const QString& text) {
            IndexUpdateAnswer answer;
            answer.kind = IndexUpdateAnswer::Kind::Notice;
            answer.state = state;
            answer.text = text;
            promise.addResult(std::move(answer));
        };
        // Waits `ms`, looking at the stop flag; false when stopped.
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
                [&promise](int done, int total) {
                    IndexUpdateAnswer answer;
                    answer.done = done;
                    answer.total = total;
                    promise.addResult(std::move(answer));
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
        IndexUpdateAnswer answer;
        answer.kind = IndexUpdateAnswer::Kind::Finished;
        answer.report = std::move(report);
        promise.addResult(std::move(answer));
    });
    m_job = job;
    job->onResult([this, job](const IndexUpdateAnswer& answer) {
        switch (answer.kind) {
        case IndexUpdateAnswer::Kind::Progress:
            if (m_state != State::Updating)
                m_notice.clear(); // the wait is over
            m_state = State::Updating;
            emit progress(answer.done, answer.total);
            return;
        case IndexUpdateAnswer::Kind::Notice:
            m_state = answer.state;
            m_notice = answer.text;
            emit notice(answer.text);
            return;
        case IndexUpdateAnswer::Kind::Finished:
            break;
        }
        if (m_job == job)
            m_job = nullptr;
        m_state = State::Idle;
        m_notice.clear();
        emit finished(answer.report);
    });
    job->onFinished([this, job](const QString& error) {
        if (m_job != job)
            return; // reported
        m_job = nullptr;
        m_state = State::Idle;
        m_notice.clear();
        IndexReport report;
        report.error = error;
        emit finished(report);
    });
}
