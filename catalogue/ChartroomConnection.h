#pragma once
// One connection to the Chartroom catalogue for the thread that creates it.
// Qt SQL connections belong to one thread: a ChartroomConnection is made,
// opened, used, closed and destroyed on the same thread (the window's data
// module keeps its own for the catalogue page; a catalogue run makes one on
// its worker).
#include <QSqlDatabase>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/Errors.h"

class QSqlError;
class QSqlQuery;

// One server of the catalogue.
struct ChartroomHost {
    std::string host;
    int port = 3306;
};

// Where the catalogue lives. Read from the configuration file's <chartroom>
// element (host, port, database, user, timeout) unless set by the data
// module's setConnectionSettings.
struct ChartroomSettings {
    std::string host;
    int port = 3306;
    // The catalogue's other servers (the nodes of a Galera cluster), tried
    // in this order when the ones before do not answer.
    std::vector<ChartroomHost> otherHosts;
    std::string database;
    std::string user;
    // Unset: ATLASDESK_CHARTROOM_PASSWORD, else the password prompt, else "".
    std::optional<std::string> password;
    // Seconds a read or a write of a statement may wait for the server: a
    // server that stops answering ends the statement with an error instead
    // of holding the run for ever. The server ends a statement that runs
    // longer (one waiting for a lock) after the same time, so that what the
    // client gave up on is not carried out later.
    int timeoutSeconds = 30;
    // Seconds to wait for the server to accept a connection and greet it.
    int connectTimeoutSeconds = 15;
};

// The settings of the configuration file (ConfigFilePath) with the
// password unset: an invalid port gives 3306, an invalid timeout 30. Each
// <host> element names a server, "name" or "name:port" (the port of <port>
// unless given); the first is `host`, the others `otherHosts`.
// Throws the configuration's load error.
ChartroomSettings ReadChartroomSettings();

// The server stopped answering (a read or write timed out) or dropped the
// connection: nothing more can be sent on it.
class EChartroomConnectionLost : public Exception {
public:
    using Exception::Exception;
};

class ChartroomConnection {
public:
    // `settings` with the password already resolved (an unset one counts as
    // empty). Opens nothing yet.
    explicit ChartroomConnection(const ChartroomSettings& settings);
    // Closes the connection and lets Qt forget it.
    ~ChartroomConnection();
    ChartroomConnection(const ChartroomConnection&) = delete;
    ChartroomConnection& operator=(const ChartroomConnection&) = delete;

    // Opens the connection: see OpenChartroom. Throws Exception.
    void open();
    void close();
    bool isOpen() const { return m_db.isValid() && m_db.isOpen(); }
    // False once the server stopped answering or dropped the connection.
    bool isAlive() const { return isOpen() && !m_lost; }
    // Sends `statement` once (see ExecuteOnChartroom). A lost connection
    // throws EChartroomConnectionLost and marks this connection dead.
    void execute(const std::string& statement);
    // Sends the query `statement` and calls `row` for each row of its
    // answer, in order (read forward only). Errors as execute().
    void query(const std::string& statement, const std::function<void(const QSqlQuery& row)>& row);
    // "host:port" of the server it uses (or would try first), for messages.
    const std::string& where() const { return m_where; }

private:
    ChartroomSettings m_settings; // password unset: kept apart
    std::string m_password;       // to open again after a lost connection
    QString m_name;
    QSqlDatabase m_db;
    std::string m_where;
    bool m_lost = false;
};

// The driver's and the server's texts of `error`.
std::string ChartroomErrorText(const QSqlError& error);

// A name for Qt SQL's registry of connections that no other connection of
// this process has had. Any thread.
QString NewChartroomConnectionName();
// Opens `db` with `settings`: connect, read and write timeouts, UTF-8
// (utf8mb4) session, backslash escapes on, non-strict session mode, and
// statements ended by the server after the read timeout too. Tries the
// servers in order (host, then otherHosts) while they do not answer; one
// that answers with a refusal (a wrong password, an unknown database) ends
// the tries. Returns "host:port" of the server it uses. The password is not
// kept in `db`. Throws Exception with the driver's and the server's
// message, naming each server tried.
std::string OpenChartroom(QSqlDatabase& db, const ChartroomSettings& settings, const std::string& password);
// Sends `statement` (UTF-8) once, as it is: no placeholders are looked for,
// so colons and question marks in values reach the server unchanged. Throws
// EChartroomConnectionLost when the server timed out or dropped the
// connection (the message names `where`), Exception with the database's
// message otherwise.
void ExecuteOnChartroom(QSqlDatabase& db, const std::string& statement, const std::string& where);
// ExecuteOnChartroom of a query whose answer is read: `row` is called for
// each of its rows, in order.
void QueryOnChartroom(QSqlDatabase& db, const std::string& statement, const std::string& where,
                      const std::function<void(const QSqlQuery& row)>& row);
