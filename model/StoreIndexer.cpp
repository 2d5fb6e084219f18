#include "model/StoreIndexer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <algorithm>
#include <atomic>
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
        auto toRead = std::make_shared<std::vector<std::string>>();  // "" where there is no document
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
            toRead->push_back(d.size >= 0 ? d.xmlPath : std::string());
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
            index.put(c.id, c.replacing, d->path, d->xmlPath, QString::fromStdString(relOf(d->path)), d->category, d->size,
                      d->mtime, r.readable ? &r.fields : nullptr, r.error);
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
        index.commit();
        const IndexProblems problems = index.problems();
        report.unreadable = problems.unreadable;
        report.notRead = problems.notRead;
        report.notInDegrees = problems.notInDegrees;
        tell(done, report.total, true);
    }
}

} // namespace

IndexReport updateStoreIndex(const IndexSettings& settings, const std::function<bool()>& cancelled,
                             const std::function<void(int, int)>& progress)
{
    IndexReport report;
    // Two windows, or two instances of the program, on one server share its
    // index: both writing the same rows would fail each other's updates.
    // The lock is freed only by its holder or by the holder's death, not
    // by age: a first build of a large store takes minutes.
    QDir().mkpath(QFileInfo(settings.indexFile).absolutePath());
    QLockFile lock(settings.indexFile + QStringLiteral(".lock"));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0) && lock.error() == QLockFile::LockFailedError) {
        report.busy = true;
        return report;
    }
    // A lock file that cannot be made at all (an unwritable folder) leaves
    // the index to fail with its own message.
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
    auto* job = runInBackground<IndexUpdateAnswer>(m_pool, this, [settings, stop](QPromise<IndexUpdateAnswer>& promise) {
        IndexUpdateAnswer answer;
        answer.report = updateStoreIndex(
            settings, [stop, &promise] { return *stop || promise.isCanceled(); },
            [&promise](int done, int total) { promise.addResult(IndexUpdateAnswer{done, total, false, {}}); });
        answer.finished = true;
        promise.addResult(std::move(answer));
    });
    m_job = job;
    job->onResult([this, job](const IndexUpdateAnswer& answer) {
        if (!answer.finished) {
            emit progress(answer.done, answer.total);
            return;
        }
        if (m_job == job)
            m_job = nullptr;
        emit finished(answer.report);
    });
    job->onFinished([this, job](const QString& error) {
        if (m_job != job)
            return; // reported
        m_job = nullptr;
        IndexReport report;
        report.error = error;
        emit finished(report);
    });
}
