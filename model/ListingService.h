#pragma once
// Lists directories off the window's thread. Requests go to a small pool of
// its own; each answer comes back as a signal on the service's thread with
// the request's number. A directory on a hung share never answers: after
// the timeout the service answers for it with an error, and the stuck
// worker finishes (or stays stuck) harmlessly: its late answer is dropped
// and the pool grows by one thread meanwhile so other requests still run.
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <string>
#include <unordered_map>

#include "model/DirectoryListing.h"

class QThreadPool;
class QTimer;

class ListingService : public QObject {
    Q_OBJECT
public:
    explicit ListingService(QObject* parent = nullptr);
    // Never waits for a stuck worker: a pool still busy after a short grace
    // is left to finish on its own.
    ~ListingService() override;

    // Asks for listDirectory(dir). Returns the request's number (never 0);
    // listed() answers it exactly once, unless cancel() dropped it first.
    // Service thread only.
    quint64 request(const std::string& dir);
    // Stops a request: the worker stops between entries, no answer comes.
    // Unknown or answered numbers are ignored. Service thread only.
    void cancel(quint64 request);
    // Requests still waiting for their answer. Service thread only.
    int pendingCount() const { return static_cast<int>(m_pending.size()); }
    // How long a request may take before it is answered with an error.
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }

signals:
    void listed(quint64 request, const DirectoryListing& listing);

private:
    struct Channel;
    struct Pending {
        std::shared_ptr<std::atomic_bool> cancelled;
        QTimer* timer = nullptr;
        std::string dir;
    };
    void answered(quint64 request, const DirectoryListing& listing);
    void timedOut(quint64 request);

    std::shared_ptr<Channel> m_channel;             // shared with the workers
    QThreadPool* m_pool;                            // owned; left alive when stuck at destruction
    std::unordered_map<quint64, Pending> m_pending; // service thread only
    std::unordered_map<quint64, std::shared_ptr<std::atomic_bool>> m_abandoned; // timed out, still running; service thread only
    quint64 m_next = 0;                             // service thread only
    int m_timeoutMs = 30000;                        // service thread only
    int m_baseThreads = 4;                          // service thread only
};
