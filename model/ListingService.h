#pragma once
// Lists directories off the window's thread. Requests go to a small pool of
// its own; each answer comes back as a signal on the service's thread with
// the request's number. A directory on a hung share never answers: after
// the timeout the service answers for it with an error and abandons the
// read (see support/Background.h): its late answer is dropped, and other
// requests still run meanwhile.
#include <QObject>
#include <QString>
#include <memory>
#include <string>
#include <unordered_map>

#include "model/DirectoryListing.h"
#include "support/Background.h"

class ListingService : public QObject {
    Q_OBJECT
public:
    explicit ListingService(QObject* parent = nullptr);
    // Never waits for a stuck read.
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
    // The answer, never null. Shared rather than copied: a folder of many
    // thousand entries makes a large listing, which the receiver may keep.
    void listed(quint64 request, std::shared_ptr<const DirectoryListing> listing);

private:
    WorkerPool m_pool{QStringLiteral("directory listings"), 4};
    std::unordered_map<quint64, BackgroundJob<std::shared_ptr<const DirectoryListing>>*> m_pending; // service thread only; children
    quint64 m_next = 0;      // service thread only
    int m_timeoutMs = 30000; // service thread only
};
