#pragma once
// The lock that lets one sync at a time write a catalogue, whichever
// machine it runs on.
//
// On a single server it is the server's named lock (GET_LOCK), held by the
// connection and gone with it. A named lock is one node's own in a Galera
// cluster (another node grants it again; some versions refuse it): there
// it is the catalogue's row of the table SyncLock, seen alike by every
// node, held for a while (kLeaseMinutes) and renewed as the run goes on; a
// row whose time has passed (its run died) is taken over.
//
// Used on the sync's thread, with the run's connection.
#include <chrono>
#include <functional>
#include <string>

#include "catalogue/ChartroomConnection.h"

class SyncLock {
public:
    // `waiting` is told once when another sync holds the lock and this one waits.
    SyncLock(ChartroomConnection& connection, std::string database, std::function<void(const std::string&)> waiting);

    // Takes the lock, waiting at most `waitSeconds` for another sync to
    // end. Throws ESyncRefused naming the holder when another keeps it,
    // ESyncSetup when the catalogue cannot be locked.
    void take(int waitSeconds);
    // After the connection was opened again (on another server of the
    // catalogue): keeps the cluster's row, or asks the server's named lock
    // anew. Throws as take() when another sync has it now.
    void takeAgain();
    // Keeps the cluster's row: call it often; it writes once a minute.
    void renew();
    // Gives the lock back when the connection still answers (else the
    // server drops a named lock with the connection, and the cluster's row
    // expires).
    void release();

    bool onCluster() const { return m_cluster; }

    static constexpr int kLeaseMinutes = 10;

private:
    void takeNamed(int waitSeconds);
    void takeRow(int waitSeconds);
    // The holder of the cluster's row, for messages ("" when none);
    // `mine`: whether it is this run.
    std::string rowHolder(bool& mine);
    [[noreturn]] void refuse(int waitSeconds, const std::string& holder);

    ChartroomConnection& m_connection;
    std::string m_database;
    std::function<void(const std::string&)> m_waiting;
    bool m_cluster = false;
    bool m_held = false;
    std::string m_holder; // this run, in the cluster's row
    std::chrono::steady_clock::time_point m_renewed;
};
