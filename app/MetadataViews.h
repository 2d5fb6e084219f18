#pragma once
// Runs the render jobs of the Metadata, XML and Thumbnail pages on a worker
// and hands back only the answer to the newest request of each page: an
// older answer that comes in late is dropped, and a request that is still
// waiting when a newer one is made is never started.
//
// A page that gets no answer within the time-out shows an error instead:
// that the folder does not answer while the metadata file has not been read
// (a share that stopped answering), that the document takes too long to
// prepare once it has. The job is abandoned (see support/Background.h), so
// later requests do not queue behind it.
//
// Each instance has its own scratch folder for the Metadata page's
// "~Last Used.xsl" and "~TempXML.xml": a new folder per window under the
// user's cache location, removed when the window goes; the folders of
// windows that crashed are removed when the first instance of a run is
// made (support/ScratchFolder). The jobs of all
// windows run one after another on one worker thread (a few once jobs got
// stuck), so a window's scratch files are written by one job at a time.
//
// The Metadata and XML pages of the rows next to the selected one may be
// rendered ahead on the same worker (prepare): a request whose page was
// rendered ahead, from files that have not changed since, is answered with
// it without a render (xml/PreparedPages.h). Rendering ahead gives way to
// the pages' requests: what was to be rendered ahead and has not started
// never starts once a Metadata or XML page is asked for, and a page rendered
// ahead that takes more than 2 s (a share that hangs) is given up, so that
// the requests behind it do not wait for it.
#include <QObject>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/Background.h"
#include "xml/MetadataView.h"

class PreparedPages;
class ScratchFolder;

class MetadataViews : public QObject {
    Q_OBJECT
public:
    explicit MetadataViews(QObject* parent = nullptr);
    ~MetadataViews() override;

    // Starts the job for `request` (its page says which); forgets whatever
    // that page asked for before. Window thread only.
    void request(const MetadataViewRequest& request);
    // Forgets the pending request of `page`, if any, without a new one.
    void cancel(MetadataPage page);
    // Renders the Metadata and XML pages of `requests` ahead, one after
    // another in this order, and keeps them; forgets what was to be rendered
    // ahead before and has not started. Thumbnail requests are ignored.
    void prepare(const std::vector<MetadataViewRequest>& requests);
    // True while a request of some page waits for its answer, or a page is
    // being rendered ahead.
    bool busy() const;
    // The pages rendered ahead and kept.
    PreparedPages& preparedPages() const { return *m_prepared; }
    // The scratch folder, ending with '/'; "" when none could be made (the
    // Metadata page then reports that it cannot write its document).
    const std::string& scratchFolder() const { return m_scratchFolder; }

    // How long a page waits for its answer; 30 s unless set.
    void setAnswerTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    // The job a request runs on the worker (RenderMetadataView unless set;
    // tests use a job that does not come back). Must be safe on any thread.
    // Its request carries a fresh `progress` to tell once the file is read.
    using Job = std::function<MetadataView(const MetadataViewRequest&)>;
    void setJob(Job job) { m_job = std::move(job); }

signals:
    // The answer to the newest request of its page (window thread).
    void ready(const MetadataView& view);

private:
    void giveUp(std::size_t page);

    void stopPreparing();

    std::array<BackgroundJob<MetadataView>*, 3> m_jobs{}; // window thread only: the newest request's job per page, or null
    std::vector<BackgroundJob<bool>*> m_ahead;    // window thread only: the jobs rendering ahead that have not ended
    std::vector<BackgroundJob<bool>*> m_stopped;  // window thread only: those no longer wanted, until they end
    std::shared_ptr<PreparedPages> m_prepared;    // any thread (jobs share it; it locks)
    std::array<MetadataViewRequest, 3> m_asked;   // window thread only: the newest request per page
    int m_timeoutMs = 30000;                      // window thread only
    Job m_job = RenderMetadataView;               // window thread only (jobs get a copy)
    std::unique_ptr<ScratchFolder> m_scratch;     // window thread only (jobs get its path)
    std::string m_scratchFolder;                  // window thread only
};
