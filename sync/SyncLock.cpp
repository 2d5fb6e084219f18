#include "sync/SyncLock.h"

#include <unistd.h>

#include <QRandomGenerator>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>

#include <algorithm>
#include <thread>

#include "catalogue/CatalogueOps.h"
#include "sync/CatalogueSync.h"

namespace {

using Clock = std::chrono::steady_clock;

// The longest single wait for the lock: it is asked again until the wait
// the operator allowed has passed, so no statement outlives the
// connection's timeout.
constexpr int kStepSeconds = 5;
constexpr auto kRenewEvery = std::chrono::minutes(1);

// The name of the server's named lock: one per database of the server.
const std::string kLockName = "LEFT(CONCAT('atlasdesk-sync:',DATABASE()),64)";
// The cluster's row.
const std::string kRowName = "'sync'";

std::string quoted(const std::string& text)
{
    return "'" + SqlEscape(text) + "'";
}

} // namespace

SyncLock::SyncLock(ChartroomConnection& connection, std::string database,
                   std::function<void(const std::string&)> waiting)
    : m_connection(connection), m_database(std::move(database)), m_waiting(std::move(waiting))
{
}

void SyncLock::take(int waitSeconds)
{
    // A server built without the cluster has no variable wsrep_on.
    m_connection.query("SHOW VARIABLES LIKE 'wsrep_on'",
                       [&](const QSqlQuery& row) { m_cluster = row.value(1).toString() == QStringLiteral("ON"); });
    if (m_cluster)
        takeRow(waitSeconds);
    else
        takeNamed(waitSeconds);
    m_held = true;
}

void SyncLock::takeNamed(int waitSeconds)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(waitSeconds);
    bool told = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::seconds>(deadline - Clock::now()).count();
        const long long step = std::clamp<long long>(left, 0, kStepSeconds);
        QVariant got;
        m_connection.query("SELECT GET_LOCK(" + kLockName + "," + std::to_string(step) + ")",
                           [&](const QSqlQuery& row) { got = row.value(0); });
        if (got.isNull())
            throw ESyncSetup("The catalogue at " + m_connection.where() + " refused its sync lock (GET_LOCK)");
        if (got.toInt() == 1)
            return;
        if (Clock::now() >= deadline)
            break;
        if (!told && m_waiting)
            m_waiting("Waiting for another sync of " + m_database + " to end");
        told = true;
    }
    std::string holder;
    m_connection.query("SELECT p.ID,p.HOST,p.TIME FROM information_schema.PROCESSLIST p WHERE p.ID=IS_USED_LOCK(" +
                           kLockName + ")",
                       [&](const QSqlQuery& row) {
                           holder = "server connection " + row.value(0).toString().toStdString() + " from " +
                                    row.value(1).toString().toStdString() + ", for " +
                                    row.value(2).toString().toStdString() + " s";
                       });
    refuse(waitSeconds, holder);
}

void SyncLock::takeRow(int waitSeconds)
{
    bool table = false;
    m_connection.query("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA=DATABASE() "
                       "AND TABLE_NAME='SyncLock'",
                       [&](const QSqlQuery& row) { table = row.value(0).toInt() > 0; });
    if (!table)
        throw ESyncSetup("The catalogue " + m_database + " at " + m_connection.where() +
                         " is a Galera cluster, whose nodes do not share named locks, and has no table SyncLock: "
                         "create it as the README says (data/chartroom.sql)");
    m_holder = QSysInfo::machineHostName().toStdString() + " pid " + std::to_string(::getpid()) + " #" +
               std::to_string(QRandomGenerator::global()->bounded(1000000));
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(waitSeconds);
    bool told = false;
    for (;;) {
        // A row whose run died (it was not renewed in time) goes; then the
        // first INSERT of the cluster wins (the others, on any node, find
        // the key taken, or fail their certification and are retried).
        m_connection.execute("DELETE FROM SyncLock WHERE Name=" + kRowName + " AND Until<UTC_TIMESTAMP()");
        m_connection.execute("INSERT IGNORE INTO SyncLock (Name,Holder,Until) VALUES (" + kRowName + "," +
                             quoted(m_holder) + ",UTC_TIMESTAMP()+INTERVAL " + std::to_string(kLeaseMinutes) +
                             " MINUTE)");
        bool mine = false;
        rowHolder(mine);
        if (mine) {
            m_renewed = Clock::now();
            return;
        }
        if (Clock::now() >= deadline)
            break;
        if (!told && m_waiting)
            m_waiting("Waiting for another sync of " + m_database + " to end");
        told = true;
        const auto left = deadline - Clock::now();
        std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::seconds(1)));
    }
    bool mine = false;
    refuse(waitSeconds, rowHolder(mine));
}

std::string SyncLock::rowHolder(bool& mine)
{
    std::string holder;
    mine = false;
    m_connection.query("SELECT Holder,Until FROM SyncLock WHERE Name=" + kRowName, [&](const QSqlQuery& row) {
        const std::string name = row.value(0).toString().toStdString();
        mine = name == m_holder;
        holder = name + ", until " + row.value(1).toString().toStdString() + " UTC unless it goes on";
    });
    return holder;
}

void SyncLock::refuse(int waitSeconds, const std::string& holder)
{
    throw ESyncRefused("Another sync of the catalogue " + m_database + " at " + m_connection.where() +
                       " is running" + (holder.empty() ? std::string() : " (" + holder + ")") +
                       "; nothing was done" +
                       (waitSeconds > 0 ? " after waiting " + std::to_string(waitSeconds) + " s" : std::string()) +
                       ".");
}

void SyncLock::takeAgain()
{
    if (!m_held)
        return;
    if (!m_cluster) {
        takeNamed(0);
        return;
    }
    m_renewed = {};
    renew();
}

void SyncLock::renew()
{
    if (!m_held || !m_cluster || Clock::now() - m_renewed < kRenewEvery)
        return;
    m_connection.execute("UPDATE SyncLock SET Until=UTC_TIMESTAMP()+INTERVAL " + std::to_string(kLeaseMinutes) +
                         " MINUTE WHERE Name=" + kRowName + " AND Holder=" + quoted(m_holder));
    // Not found: the run was silent longer than its lease and another took it.
    bool mine = false;
    rowHolder(mine);
    if (!mine) {
        m_held = false;
        throw ESyncRefused("The sync lost its lock on the catalogue " + m_database + " at " + m_connection.where() +
                           " (it was not renewed for " + std::to_string(kLeaseMinutes) +
                           " minutes): another sync may be writing; this one stops.");
    }
    m_renewed = Clock::now();
}

void SyncLock::release()
{
    if (!m_held || !m_connection.isAlive())
        return;
    m_held = false;
    if (m_cluster)
        m_connection.execute("DELETE FROM SyncLock WHERE Name=" + kRowName + " AND Holder=" + quoted(m_holder));
    else
        m_connection.query("SELECT RELEASE_LOCK(" + kLockName + ")", [](const QSqlQuery&) {});
}
