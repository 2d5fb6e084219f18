#include "catalogue/ChartroomConnection.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <charconv>

#include "model/AtlasdeskOps.h"
#include "support/StringOps.h"
#include "xml/XMLOps.h"

namespace {

const QString kDriver = QStringLiteral("QMYSQL");
// The client library's codes for a connection that broke: "server has gone
// away" and "lost connection to server during query" (also what a read or
// write timeout gives).
const QStringList kLostCodes = {QStringLiteral("2006"), QStringLiteral("2013")};
// Codes after which the next server is tried: it cannot be reached
// (2002, 2003, 2005), it went away while greeting (2006, 2013), or it is a
// cluster node that is not ready to serve (1047).
const QStringList kNextServerCodes = {QStringLiteral("2002"), QStringLiteral("2003"), QStringLiteral("2005"),
                                      QStringLiteral("2006"), QStringLiteral("2013"), QStringLiteral("1047")};

// A server that could not be used; the next one is tried.
class ENextServer : public Exception {
public:
    using Exception::Exception;
};

std::string whereOf(const ChartroomSettings& settings)
{
    return settings.host + ":" + std::to_string(settings.port);
}

// A statement the client gives up on after its read timeout must end on
// the server too: otherwise one that waits for a row lock held by another
// session is still carried out when that lock goes, after the client has
// reported it as not done. MariaDB ends any statement after
// max_statement_time; MySQL only its reads after max_execution_time, so
// its lock waits get the same limit there.
void limitStatementTime(QSqlDatabase& db, int seconds, const std::string& where)
{
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("SET SESSION max_statement_time = %1").arg(seconds)))
        return;
    ExecuteOnChartroom(db,
                       "SET SESSION max_execution_time = " + std::to_string(seconds * 1000) +
                           ", innodb_lock_wait_timeout = " + std::to_string(seconds) +
                           ", lock_wait_timeout = " + std::to_string(seconds),
                       where);
}

void prepareSession(QSqlDatabase& db, const std::string& where, int timeoutSeconds)
{
    try {
        ExecuteOnChartroom(db, "SET NAMES utf8mb4", where);
    } catch (const EChartroomConnectionLost& lost) {
        throw ENextServer(lost.what());
    }

    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT @@SESSION.sql_mode")) || !query.next()) {
        if (kNextServerCodes.contains(query.lastError().nativeErrorCode()))
            throw ENextServer(ChartroomErrorText(query.lastError()));
        throw Exception(ChartroomErrorText(query.lastError()));
    }
    QStringList modes = query.value(0).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
    query.finish();
    // The statements quote their texts with backslash escapes, so the
    // server must read backslashes as escapes. They also put '' into
    // numeric columns (RightID) and send long texts whole, leaving
    // truncation or refusal to the server: in a strict mode the server
    // would refuse the whole row, so the session runs non-strict and keeps
    // the row with the value adjusted.
    for (const char* unwanted : {"NO_BACKSLASH_ESCAPES", "STRICT_TRANS_TABLES", "STRICT_ALL_TABLES"})
        modes.removeAll(QString::fromLatin1(unwanted));
    ExecuteOnChartroom(db, "SET SESSION sql_mode='" + modes.join(QLatin1Char(',')).toStdString() + "'", where);
    limitStatementTime(db, timeoutSeconds, where);
}

// A whole positive number below `limit`, or none.
std::optional<int> positiveNumber(const std::string& text, int limit)
{
    const std::string t = Trim(text);
    int value = 0;
    const auto result = std::from_chars(t.data(), t.data() + t.size(), value);
    if (t.empty() || result.ec != std::errc() || result.ptr != t.data() + t.size() || value <= 0 || value >= limit)
        return std::nullopt;
    return value;
}

} // namespace

ChartroomSettings ReadChartroomSettings()
{
    const tXMLDocument config(ConfigFilePath());
    ChartroomSettings settings;
    const int port = positiveNumber(config.GetNodeText("chartroom/port"), 65536).value_or(settings.port);
    settings.port = port;
    for (unsigned i = 0;; ++i) {
        const std::string text = Trim(config.GetNodeTextAt("chartroom/host", i));
        if (text.empty())
            break;
        ChartroomHost server{text, port};
        const size_t colon = text.rfind(':');
        // "name:port"; a bare IPv6 address (more than one colon) has no port.
        if (colon != std::string::npos && text.find(':') == colon)
            if (const auto port = positiveNumber(text.substr(colon + 1), 65536)) {
                server.host = text.substr(0, colon);
                server.port = *port;
            }
        if (i == 0) {
            settings.host = server.host;
            settings.port = server.port;
        } else {
            settings.otherHosts.push_back(server);
        }
    }
    settings.database = Trim(config.GetNodeText("chartroom/database"));
    settings.user = Trim(config.GetNodeText("chartroom/user"));
    settings.timeoutSeconds =
        positiveNumber(config.GetNodeText("chartroom/timeout"), 1 << 30).value_or(settings.timeoutSeconds);
    return settings;
}

QString NewChartroomConnectionName()
{
    static std::atomic<unsigned> serial{0};
    return QStringLiteral("chartroom-%1").arg(serial.fetch_add(1) + 1);
}

std::string ChartroomErrorText(const QSqlError& error)
{
    const QString driverText = error.driverText().trimmed();
    const QString databaseText = error.databaseText().trimmed();
    QString text = driverText;
    if (!databaseText.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(": ")) + databaseText;
    if (text.isEmpty())
        text = QStringLiteral("The Chartroom catalogue reported an unknown error");
    return text.toStdString();
}

namespace {

// Opens `db` on `server`; throws ENextServer when it cannot be used.
void openOn(QSqlDatabase& db, const ChartroomSettings& settings, const ChartroomHost& server, const std::string& password)
{
    db.setHostName(QString::fromStdString(server.host));
    db.setPort(server.port);
    db.setDatabaseName(QString::fromStdString(settings.database));
    db.setUserName(QString::fromStdString(settings.user));
    db.setPassword(QString::fromStdString(password));
    const int timeout = std::max(1, settings.timeoutSeconds);
    db.setConnectOptions(QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=%2;MYSQL_OPT_READ_TIMEOUT=%1;"
                                        "MYSQL_OPT_WRITE_TIMEOUT=%1")
                             .arg(timeout)
                             .arg(std::max(1, settings.connectTimeoutSeconds)));
    const bool opened = db.open();
    // The password is needed only to log in; it is not kept.
    db.setPassword(QString());
    const std::string where = server.host + ":" + std::to_string(server.port);
    if (!opened) {
        const std::string text = ChartroomErrorText(db.lastError()) + " (Chartroom catalogue at " + where + ")";
        if (kNextServerCodes.contains(db.lastError().nativeErrorCode()))
            throw ENextServer(text);
        throw Exception(text);
    }
    try {
        prepareSession(db, where, timeout);
    } catch (const ENextServer& e) {
        db.close();
        throw ENextServer(std::string(e.what()) + " (Chartroom catalogue at " + where + ")");
    } catch (...) {
        db.close();
        throw;
    }
}

} // namespace

std::string OpenChartroom(QSqlDatabase& db, const ChartroomSettings& settings, const std::string& password)
{
    if (!db.isValid())
        throw Exception("The MySQL driver of Qt SQL (QMYSQL) is not installed: "
                        "the Chartroom catalogue cannot be reached");
    std::vector<ChartroomHost> servers = {{settings.host, settings.port}};
    servers.insert(servers.end(), settings.otherHosts.begin(), settings.otherHosts.end());
    std::string failures;
    for (const ChartroomHost& server : servers) {
        try {
            openOn(db, settings, server, password);
            return server.host + ":" + std::to_string(server.port);
        } catch (const ENextServer& e) {
            failures += (failures.empty() ? "" : "; ") + std::string(e.what());
        }
    }
    throw Exception(servers.size() > 1 ? "No server of the Chartroom catalogue answered: " + failures : failures);
}

namespace {

// Throws `error` of a statement: EChartroomConnectionLost naming `where`
// when the connection broke, Exception with the database's message else.
[[noreturn]] void fail(const QSqlError& error, const std::string& where)
{
    if (kLostCodes.contains(error.nativeErrorCode()))
        throw EChartroomConnectionLost("The Chartroom catalogue at " + where +
                                       " stopped answering or dropped the connection: " + ChartroomErrorText(error));
    throw Exception(ChartroomErrorText(error));
}

// Sends `statement` on `query`; throws as ExecuteOnChartroom says.
void send(QSqlQuery& query, const QSqlDatabase& db, const std::string& statement, const std::string& where)
{
    if (!db.isValid() || !db.isOpen())
        throw Exception("The Chartroom catalogue is not connected");
    if (!query.exec(QString::fromUtf8(statement.data(), static_cast<qsizetype>(statement.size()))))
        fail(query.lastError(), where);
}

} // namespace

void ExecuteOnChartroom(QSqlDatabase& db, const std::string& statement, const std::string& where)
{
    QSqlQuery query(db);
    send(query, db, statement, where);
}

void QueryOnChartroom(QSqlDatabase& db, const std::string& statement, const std::string& where,
                      const std::function<void(const QSqlQuery& row)>& row)
{
    QSqlQuery query(db);
    // Answers of many thousand rows are read as they come, not kept whole.
    query.setForwardOnly(true);
    send(query, db, statement, where);
    while (query.next())
        row(query);
    if (query.lastError().isValid())
        fail(query.lastError(), where);
}

ChartroomConnection::ChartroomConnection(const ChartroomSettings& settings)
    : m_settings(settings), m_name(NewChartroomConnectionName()), m_where(whereOf(settings))
{
    // Without the driver the connection stays invalid; open() then says so.
    if (QSqlDatabase::isDriverAvailable(kDriver))
        m_db = QSqlDatabase::addDatabase(kDriver, m_name);
}

ChartroomConnection::~ChartroomConnection()
{
    close();
    const bool registered = m_db.isValid();
    m_db = QSqlDatabase();
    if (registered)
        QSqlDatabase::removeDatabase(m_name);
}

void ChartroomConnection::open()
{
    if (isOpen())
        return;
    if (m_settings.password) {
        m_password = *m_settings.password;
        m_settings.password.reset();
    }
    if (m_lost)
        m_db.close();
    m_lost = false;
    m_where = OpenChartroom(m_db, m_settings, m_password);
}

void ChartroomConnection::close()
{
    if (isOpen())
        m_db.close();
}

void ChartroomConnection::execute(const std::string& statement)
{
    try {
        ExecuteOnChartroom(m_db, statement, m_where);
    } catch (const EChartroomConnectionLost&) {
        m_lost = true;
        throw;
    }
}

void ChartroomConnection::query(const std::string& statement, const std::function<void(const QSqlQuery& row)>& row)
{
    try {
        QueryOnChartroom(m_db, statement, m_where, row);
    } catch (const EChartroomConnectionLost&) {
        m_lost = true;
        throw;
    }
}
