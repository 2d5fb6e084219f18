// A catalogue command on its own thread: what the window receives from it,
// in which order, and how a cancel and an error reach it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QThread>

#include <atomic>
#include <stdexcept>

#include "catalogue/CatalogueTask.h"

namespace {

constexpr int kWaitMs = 60000;

// Every signal of a task, in arrival order, as text.
class TaskRecorder {
public:
    explicit TaskRecorder(CatalogueTask& task)
    {
        QObject::connect(&task, &CatalogueTask::taskStarted, &m_context, [this](const QString& c, int max) {
            events.push_back("start " + c.toStdString() + " " + std::to_string(max));
        });
        QObject::connect(&task, &CatalogueTask::progressChanged, &m_context,
                         [this](int p) { events.push_back("progress " + std::to_string(p)); });
        QObject::connect(&task, &CatalogueTask::readyShown, &m_context, [this] { events.push_back("ready"); });
        QObject::connect(&task, &CatalogueTask::captionChanged, &m_context,
                         [this](const QString& c) { events.push_back("caption " + c.toStdString()); });
        QObject::connect(&task, &CatalogueTask::logShown, &m_context,
                         [this](const QString& p) { events.push_back("log " + p.toStdString()); });
        QObject::connect(&task, &CatalogueTask::finished, &m_context,
                         [this](const QString& e) { events.push_back("finished " + e.toStdString()); });
    }
    std::vector<std::string> events;

private:
    QObject m_context;
};

// Starts `task` unless it runs, and handles the window thread's events
// until its finished() has been delivered there (after every signal the run
// sent before it). False after kWaitMs without it.
bool runToEnd(CatalogueTask& task)
{
    QEventLoop loop;
    QObject::connect(&task, &CatalogueTask::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QTimer::singleShot(kWaitMs, &loop, [&] { loop.exit(1); });
    if (!task.isRunning())
        task.start();
    return loop.exec() == 0;
}

// Waits (at most a minute) until `flag` is set; whether it was.
bool waitFor(const std::atomic<bool>& flag)
{
    for (int i = 0; i < 60000 && !flag; ++i)
        QThread::msleep(1);
    return flag;
}

// A run of 20000 quick steps sends a few progress signals, not one per
// step, and the last position arrives before the end steps.
TEST(CatalogueTaskTest, ProgressIsThinnedOutAndItsLastPositionComesBeforeTheEnd)
{
    constexpr int kSteps = 20000;
    CatalogueTask task(
        [](CatalogueHost& host, tHTMLLog&, RunControl&) {
            host.StartTask("Uploading chartroom:", kSteps);
            for (int i = 0; i < kSteps; ++i)
                host.ShowProgress(i);
            host.ShowReady();
        },
        {});
    TaskRecorder recorder(task);
    ASSERT_TRUE(runToEnd(task));
    const std::vector<std::string>& e = recorder.events;
    ASSERT_GE(e.size(), 4u);
    EXPECT_EQ(e.front(), "start Uploading chartroom: 20000");
    EXPECT_EQ(e[1], "progress 0") << "the first step is shown at once";
    EXPECT_EQ(e[e.size() - 3], "progress " + std::to_string(kSteps - 1));
    EXPECT_EQ(e[e.size() - 2], "ready");
    EXPECT_EQ(e.back(), "finished ");
    EXPECT_LT(e.size(), 1000u) << "progress is not sent for every step";
}

// The run works on a thread of its own; what it throws ends it and arrives
// as the text of finished(), after what the run reported before.
TEST(CatalogueTaskTest, RunsOnItsOwnThreadAndItsErrorArrivesLast)
{
    std::atomic<bool> onOtherThread{false};
    const QThread* windowThread = QThread::currentThread();
    CatalogueTask task(
        [&](CatalogueHost& host, tHTMLLog& log, RunControl&) {
            onOtherThread = QThread::currentThread() != windowThread;
            host.setTaskCaption("Ignoring:");
            ShowLog(log);
            throw std::runtime_error("refused by the test");
        },
        tHTMLLog{"/tmp/some-log.html", {}, true});
    TaskRecorder recorder(task);
    EXPECT_FALSE(task.isRunning());
    ASSERT_TRUE(runToEnd(task));
    EXPECT_TRUE(onOtherThread);
    EXPECT_FALSE(task.isRunning());
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"caption Ignoring:", "log /tmp/some-log.html",
                                                         "finished refused by the test"}));
}

// cancel() from the window's thread reaches a run that checks its control.
TEST(CatalogueTaskTest, CancelReachesTheRun)
{
    std::atomic<bool> started{false};
    CatalogueTask task(
        [&](CatalogueHost&, tHTMLLog&, RunControl& control) {
            started = true;
            if (!waitFor(control.cancelled))
                throw std::runtime_error("no cancel came");
        },
        {});
    TaskRecorder recorder(task);
    task.start();
    EXPECT_TRUE(task.isRunning());
    ASSERT_TRUE(waitFor(started));
    task.cancel();
    ASSERT_TRUE(runToEnd(task));
    EXPECT_EQ(recorder.events, std::vector<std::string>{"finished "});
}

// A task destroyed while its run works cancels it and waits for it.
TEST(CatalogueTaskTest, DestroyingTheTaskStopsItsRun)
{
    std::atomic<bool> started{false};
    std::atomic<bool> sawCancel{false};
    {
        CatalogueTask task(
            [&](CatalogueHost&, tHTMLLog&, RunControl& control) {
                started = true;
                sawCancel = waitFor(control.cancelled);
            },
            {});
        task.start();
        ASSERT_TRUE(waitFor(started));
    }
    EXPECT_TRUE(sawCancel);
}

} // namespace
