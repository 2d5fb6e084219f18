#include "catalogue/CatalogueTask.h"

#include <QElapsedTimer>

#include <exception>

namespace {

// The status display of a run on its thread: every call becomes a signal of
// the task. Progress is thinned out to one signal per interval (a run of a
// few thousand small data sets would otherwise flood the window's queue);
// the position held back is sent before anything else.
class ForwardingHost : public CatalogueHost {
public:
    explicit ForwardingHost(CatalogueTask& task) : m_task(task) {}

    void StartTask(const std::string& caption, int max) override
    {
        flush();
        emit m_task.taskStarted(QString::fromStdString(caption), max);
        m_sent.invalidate();
    }
    void ShowProgress(int pos) override { progress(pos); }
    void ShowReady() override
    {
        flush();
        emit m_task.readyShown();
    }
    void setTaskCaption(const std::string& text) override
    {
        flush();
        emit m_task.captionChanged(QString::fromStdString(text));
        m_sent.invalidate();
    }
    void setProgress(int pos) override { progress(pos); }
    void setProgressMaximum(int max) override
    {
        flush();
        emit m_task.maximumChanged(max);
    }
    void busyCursor(bool busy) override
    {
        flush();
        emit m_task.busyChanged(busy);
    }
    void flush()
    {
        if (m_pending < 0)
            return;
        emit m_task.progressChanged(m_pending);
        m_pending = -1;
        m_sent.start();
    }

private:
    void progress(int pos)
    {
        m_pending = pos;
        if (!m_sent.isValid() || m_sent.elapsed() >= CatalogueTask::kProgressIntervalMs)
            flush();
    }

    CatalogueTask& m_task;
    QElapsedTimer m_sent; // since the last progress signal; invalid before the first of a task
    int m_pending = -1;   // a position not sent yet, or -1
};

} // namespace

CatalogueTask::CatalogueTask(Work work, tHTMLLog log, QObject* parent)
    : QObject(parent), m_work(std::move(work)), m_log(std::move(log)), m_control(std::make_unique<RunControl>())
{
    m_log.Browser = [this](const std::string& path) { emit logShown(QString::fromStdString(path)); };
    // The window learns of the end from finished(), which comes after every
    // other signal of the run.
    connect(this, &CatalogueTask::finished, this, [this] { m_finished = true; });
}

CatalogueTask::~CatalogueTask()
{
    if (!m_started)
        return;
    cancel();
    // The run emits this object's signals: it must end before this goes.
    m_run.waitForFinished();
}

void CatalogueTask::start()
{
    if (m_started)
        return;
    m_started = true;
    m_run = m_pool.run<void>([this](QPromise<void>&) {
        ForwardingHost host(*this);
        QString error;
        // The run's error boundary: nothing it throws leaves its thread.
        try {
            m_work(host, m_log, *m_control);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        } catch (...) {
            error = QStringLiteral("Unknown error");
        }
        host.flush();
        emit finished(error);
    });
}

void CatalogueTask::cancel()
{
    m_control->cancelled = true;
}

bool CatalogueTask::isRunning() const
{
    return m_started && !m_finished;
}
