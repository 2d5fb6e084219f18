#include "catalogue/UploadRun.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "model/AtlasdeskOps.h"
#include "catalogue/CatalogueOps.h"
#include "catalogue/DataSetRows.h"
#include "support/Background.h"
#include "support/Errors.h"
#include "support/FileOps.h"
#include "support/PathOps.h"
#include "support/StringOps.h"
#include "model/SearchFields.h"
#include "model/XMLFile.h"
#include "catalogue/dmAtlasdeskU.h"

namespace {

// Runs one end step; its error is kept only when none came before it, so
// the error that broke a command off is the one reported.
template <typename Step>
void endStep(std::exception_ptr& error, Step&& step)
{
    try {
        step();
    } catch (...) {
        if (!error)
            error = std::current_exception();
    }
}

std::string now()
{
    return DateTimeText(QDateTime::currentDateTime());
}

// Prepares the rows of the next data sets on a thread of its own while the
// current data set's statements travel to the server and back: reading and
// parsing a document and building its row take about as long as those
// round trips, and the run would otherwise wait for both in turn (on a
// network share the file's own round trips come on top). What it prepares
// is used at the data
// set's own step, in the order of the selection, so the statements sent and
// their order are those of a run without it.
class RowPreparer {
public:
    RowPreparer(std::string serverRoot, const tVectorOfString& themes, const SearchFieldReader& search)
        : m_root(std::move(serverRoot)), m_themes(themes), m_search(search)
    {
        m_working = m_pool.run<void>([this](QPromise<void>&) { work(); });
    }
    ~RowPreparer()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_working.waitForFinished(); // it works on this object
    }
    RowPreparer(const RowPreparer&) = delete;
    RowPreparer& operator=(const RowPreparer&) = delete;

    // Starts preparing data set `index`.
    void request(size_t index, const DataSetEntry& dataset)
    {
        Job job{index, dataset.xmlPath, dataset.item};
        {
            const std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
            m_requested.insert(index);
        }
        m_wake.notify_all();
    }

    // What was prepared for data set `index`, once it is there; nothing when
    // it was not requested.
    std::optional<PreparedDataSet> take(size_t index)
    {
        std::unique_lock lock(m_mutex);
        if (!m_requested.erase(index))
            return std::nullopt;
        m_ready.wait(lock, [&] { return m_done.count(index) > 0; });
        auto found = m_done.find(index);
        PreparedDataSet prepared = std::move(found->second);
        m_done.erase(found);
        return prepared;
    }

private:
    struct Job {
        size_t index;
        std::string xmlPath;
        CatalogueItem item;
    };

    PreparedDataSet prepare(Job& job) const
    {
        return PrepareDataSet(job.xmlPath, job.item, m_root, m_themes, m_search);
    }

    void work()
    {
        std::unique_lock lock(m_mutex);
        while (true) {
            m_wake.wait(lock, [&] { return m_stop || !m_jobs.empty(); });
            if (m_stop)
                return;
            Job job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            PreparedDataSet prepared = prepare(job);
            lock.lock();
            m_done.emplace(job.index, std::move(prepared));
            m_ready.notify_all();
        }
    }

    const std::string m_root;
    const tVectorOfString& m_themes;
    const SearchFieldReader& m_search;
    std::mutex m_mutex;
    std::condition_variable m_wake;  // a job or the stop
    std::condition_variable m_ready; // a data set was prepared
    std::deque<Job> m_jobs;
    std::set<size_t> m_requested;
    std::map<size_t, PreparedDataSet> m_done;
    bool m_stop = false;
    WorkerPool m_pool{QStringLiteral("catalogue rows"), 1};
    QFuture<void> m_working;
};

} // namespace

std::vector<DataSetEntry> SnapshotOf(const std::vector<tXMLFile*>& selection)
{
    std::vector<DataSetEntry> entries;
    entries.reserve(selection.size());
    for (const tXMLFile* file : selection) {
        DataSetEntry entry;
        if (file) {
            entry.xmlPath = file->XMLPath;
            entry.item = {file->Dir, file->Name, file->Ext, file->Category, 0};
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

namespace {

bool cancelled(const RunControl* control)
{
    return control && control->cancelled.load(std::memory_order_relaxed);
}

void beforeDataSet(RunControl* control, size_t index)
{
    if (control && control->beforeDataSet)
        control->beforeDataSet(index);
}

// What the end of the log line adds about a run that did not go through.
std::string brokenOffNote(size_t index, size_t total, bool byCancel)
{
    const std::string at = "data set " + std::to_string(index + 1) + " of " + std::to_string(total);
    return byCancel ? " (cancelled by the user before " + at + ")" : " (the run broke off at " + at + ")";
}

} // namespace

void UploadDataSets(const ChartroomSettings& login, const std::vector<DataSetEntry>& datasets,
                    const std::string& serverRoot, tHTMLLog& log, CatalogueHost& host, RunControl* control)
{
    UploadContext context(ReadThemes());
    ChartroomConnection connection(login);
    connection.open();
    // A catalogue made before the search tables gets its rows as before.
    connection.query(SearchTablesCountStatement(),
                     [&](const QSqlQuery& row) { context.setSearchTables(row.value(0).toInt() == 2); });
    const SearchFieldReader search(SearchFieldPaths::fromConfiguration());

    // A root chosen with a trailing separator ("/srv/geo/", or "/") names
    // the same server as without it and must upload the same rows.
    const std::string root = NormalisedServerRoot(serverRoot);
    const StatementExecutor execute = [&connection](const std::string& statement) { connection.execute(statement); };
    int records = 0;
    // The record number of the row whose COMMIT was sent and not answered
    // yet: only that row may be on the server without the run knowing it.
    int64_t unanswered = 0;
    // Each Main row is written with its search rows in a transaction of its
    // own: a row statement the run gives up on (a timeout, a lost
    // connection) then never lands later, as the server rolls back what a
    // session that went away did not commit. Only the COMMIT can be carried
    // out without its answer.
    const auto writeRow = [&](int64_t recordNumber, const std::vector<std::string>& statements) {
        connection.execute("START TRANSACTION");
        for (const std::string& statement : statements)
            connection.execute(statement);
        unanswered = recordNumber;
        connection.execute("COMMIT");
        unanswered = 0;
        ++records;
    };
    size_t current = 0;
    std::string note;
    std::exception_ptr error;
    try {
        RowPreparer preparer(root, context.themes(), search);
        // Folders numbered 80 and above hold archives and work in
        // progress, which the catalogue does not list.
        const auto listed = [&](size_t i) {
            return !datasets[i].xmlPath.empty() &&
                   FirstFolderNumber(CatalogueSeparators(datasets[i].item.Dir), root) < 80;
        };
        // A few data sets are prepared ahead, so that a moment without the
        // processor for the preparing thread does not hold the run up.
        constexpr size_t kAhead = 4;
        size_t nextToPrepare = 0;
        size_t ahead = 0;
        const auto prepareNext = [&] {
            for (; ahead < kAhead && nextToPrepare < datasets.size(); ++nextToPrepare)
                if (listed(nextToPrepare)) {
                    preparer.request(nextToPrepare, datasets[nextToPrepare]);
                    ++ahead;
                }
        };
        prepareNext();
        host.StartTask("Uploading chartroom:", static_cast<int>(datasets.size()));
        for (; current < datasets.size(); ++current) {
            const size_t i = current;
            if (cancelled(control)) {
                note = brokenOffNote(i, datasets.size(), true);
                break;
            }
            host.ShowProgress(static_cast<int>(i));
            beforeDataSet(control, i);
            const DataSetEntry& dataset = datasets[i];
            if (!listed(i))
                continue;
            std::optional<PreparedDataSet> prepared = preparer.take(i);
            if (prepared)
                --ahead;
            prepareNext();
            if (!FileExists(dataset.xmlPath)) {
                AddLineBR(log, "- File ignored (no XML found): " + dataset.xmlPath);
                continue;
            }
            // A document that could not be read ahead (it may have been
            // written since) is read again now.
            PreparedDataSet dataSet = prepared && prepared->outcome != PreparedDataSet::Outcome::Unreadable
                                          ? std::move(*prepared)
                                          : PrepareDataSet(dataset.xmlPath, dataset.item, root, context.themes(), search);
            switch (dataSet.outcome) {
            case PreparedDataSet::Outcome::Unreadable:
                AddLineBR(log, "*** XML reading error for " + dataset.xmlPath + ". This file was not uploaded. ***");
                continue;
            case PreparedDataSet::Outcome::Ignored:
                continue;
            case PreparedDataSet::Outcome::Failed:
                // The data set's place is written before its row, as when
                // the row could be built.
                if (dataSet.foldersClassified)
                    ApplyFolderClassification(std::move(dataSet.rows.folders), context, execute);
                std::rethrow_exception(dataSet.error);
            case PreparedDataSet::Outcome::Rows:
                WriteDataSetRows(dataSet.rows, context, execute, writeRow);
                continue;
            }
        }
        // A cancelled run still lists the themes and the sources of the
        // rows it wrote, which name them.
        if (const auto themes = ThemesStatement(context))
            execute(*themes);
        if (const auto sources = SourcesStatement(context))
            execute(*sources);
    } catch (const EChartroomConnectionLost& lost) {
        // A COMMIT without its answer may have been carried out: the server
        // is asked which it was before anything is counted.
        std::string uncertain;
        if (unanswered != 0) {
            const std::optional<bool> written = RowOnChartroom(login, unanswered);
            if (written.value_or(false))
                ++records;
            else if (!written)
                uncertain = "; whether the row of data set " + std::to_string(current + 1) + " of " +
                            std::to_string(datasets.size()) +
                            " was written too cannot be told, as the server does not answer";
        }
        error = std::make_exception_ptr(EChartroomConnectionLost(std::string(lost.what()) + "; " +
                                                                 std::to_string(records) +
                                                                 " rows were written before the upload broke off" +
                                                                 uncertain));
    } catch (...) {
        error = std::current_exception();
        // A row statement that failed (the server ended it, or refused it)
        // leaves its transaction open on a connection that is still alive.
        if (connection.isAlive()) {
            std::exception_ptr ignored;
            endStep(ignored, [&] { connection.execute("ROLLBACK"); });
        }
    }
    if (error)
        note = current < datasets.size() ? brokenOffNote(current, datasets.size(), false)
                                         : " (the run broke off while writing the themes and sources)";

    endStep(error, [&] { host.ShowReady(); });
    context.clearSources();
    endStep(error, [&] {
        AddLineBR(log, "- Data added to Chartroom: " + std::to_string(records) + " records added on " + now() + note);
    });
    // On a connection the server stopped answering the comment could only
    // wait for the same timeout again.
    if (connection.isAlive())
        endStep(error, [&] {
            connection.execute("ALTER TABLE Main COMMENT='Data added by Atlasdesk " + VersionString(4) + " on " +
                               now() + "'");
        });
    // Closed also when the comment failed: the run never leaves a
    // connection open behind the user's back.
    connection.close();
    if (error)
        std::rethrow_exception(error);
}

std::optional<bool> RowOnChartroom(const ChartroomSettings& login, int64_t recordNumber)
{
    try {
        ChartroomConnection check(login);
        check.open();
        bool found = false;
        check.query("SELECT 1 FROM Main WHERE RecordNumber = " + std::to_string(recordNumber) + " LIMIT 1",
                    [&found](const QSqlQuery&) { found = true; });
        return found;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void UploadSelection(TdmAtlasdesk& dm, const std::vector<tXMLFile*>& selection,
                     const std::string& serverRoot, tHTMLLog& log, CatalogueHost& host)
{
    const std::vector<DataSetEntry> datasets = SnapshotOf(selection);
    const ChartroomSettings login = dm.loginSettings();
    // The run leaves the catalogue page's connection closed, whatever its
    // state before, also when the run itself could not start.
    struct CloseAtEnd {
        TdmAtlasdesk& dm;
        ~CloseAtEnd() { dm.close(); }
    } closeAtEnd{dm};
    UploadDataSets(login, datasets, serverRoot, log, host);
}

void SetIgnoreFlagsOn(bool ignore, const std::vector<DataSetEntry>& datasets, tHTMLLog& log,
                      CatalogueHost& host, RunControl* control)
{
    host.busyCursor(true);
    std::exception_ptr error;
    try {
        host.setTaskCaption("Ignoring:");
        host.setProgress(0);
        // An empty selection processes nothing; the gauge keeps a valid range.
        host.setProgressMaximum(std::max(0, static_cast<int>(datasets.size()) - 1));
        const std::string& flagPath = FieldMap[fiIgnore].XML_Path;
        if (!datasets.empty() && flagPath.empty())
            throw Exception("The configuration gives no XML_Path for the metadata field Ignore");

        for (size_t i = 0; i < datasets.size() && !cancelled(control); ++i) {
            beforeDataSet(control, i);
            const DataSetEntry& entry = datasets[i];
            if (entry.xmlPath.empty())
                continue;
            {
                // A data set of the run's own, on the snapshot's paths: the
                // tree's node may be gone by now.
                tXMLFile dataset(entry.item.Dir + entry.item.Name);
                dataset.XMLPath = entry.xmlPath;
                if (FileExists(dataset.XMLPath)) {
                    dataset.OpenDocument();
                } else {
                    dataset.NewDocument();
                    AddLineBR(log, "- XML file created: " + dataset.XMLPath);
                }
                // The stamp and save run even when the flag could not be
                // changed; the flag's error is then the one reported.
                std::exception_ptr flagError;
                endStep(flagError, [&] {
                    if (ignore)
                        dataset.Doc->SetNodeText(flagPath, "Yes");
                    else
                        dataset.Doc->DeleteNode(flagPath);
                });
                endStep(flagError, [&] { dataset.Stamp(); });
                if (flagError)
                    std::rethrow_exception(flagError);
            }
            AddLineBR(log, "- " + entry.xmlPath +
                               (ignore ? " will not be exported to chartroom." : " will be exported to chartroom."));
            host.setProgress(static_cast<int>(i));
        }
    } catch (...) {
        error = std::current_exception();
    }
    endStep(error, [&] { host.busyCursor(false); });
    endStep(error, [&] { host.setTaskCaption("Ready:"); });
    if (error)
        std::rethrow_exception(error);
}

void SetIgnoreFlags(bool ignore, const std::vector<tXMLFile*>& selectedFiles, tHTMLLog& log,
                    CatalogueHost& host)
{
    SetIgnoreFlagsOn(ignore, SnapshotOf(selectedFiles), log, host);
}
