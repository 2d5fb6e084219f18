#include "BenchDatabase.h"

#include <unistd.h>

#include <QSqlError>
#include <QSqlQuery>

#include <exception>
#include <map>
#include <set>
#include <stdexcept>

#include "BenchSupport.h"

namespace bench {

namespace {

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t from = 0;
    while (from <= text.size()) {
        size_t to = text.find(separator, from);
        if (to == std::string::npos)
            to = text.size();
        parts.push_back(text.substr(from, to - from));
        from = to + 1;
    }
    return parts;
}

} // namespace

std::optional<ChartroomSettings> serverFromEnvironment()
{
    if (!qEnvironmentVariableIsSet("ATLASDESK_TEST_DB_HOST") || !qEnvironmentVariableIsSet("ATLASDESK_TEST_DB_USER"))
        return std::nullopt;
    ChartroomSettings s;
    s.host = qEnvironmentVariable("ATLASDESK_TEST_DB_HOST").toStdString();
    s.port = qEnvironmentVariableIsSet("ATLASDESK_TEST_DB_PORT") ? qEnvironmentVariableIntValue("ATLASDESK_TEST_DB_PORT") : 3306;
    s.user = qEnvironmentVariable("ATLASDESK_TEST_DB_USER").toStdString();
    s.password = qEnvironmentVariable("ATLASDESK_TEST_DB_PASSWORD").toStdString();
    return s;
}

Connection::Connection(const ChartroomSettings& settings, const std::string& name) : m_name(QString::fromStdString(name))
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), m_name);
    db.setHostName(QString::fromStdString(settings.host));
    db.setPort(settings.port);
    db.setUserName(QString::fromStdString(settings.user));
    db.setPassword(QString::fromStdString(settings.password.value_or(std::string())));
    db.setDatabaseName(QString::fromStdString(settings.database));
}

Connection::~Connection()
{
    database().close();
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase Connection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

void Connection::open()
{
    QSqlDatabase db = database();
    if (!db.open())
        throw std::runtime_error("cannot reach the database server: " + db.lastError().text().toStdString());
}

void Connection::close()
{
    database().close();
}

void Connection::exec(const QString& statement)
{
    QSqlQuery query(database());
    if (!query.exec(statement))
        throw std::runtime_error(statement.left(200).toStdString() + ": " + query.lastError().text().toStdString());
}

QVariant Connection::scalar(const std::string& statement)
{
    QSqlQuery query(database());
    if (!query.exec(QString::fromStdString(statement)) || !query.next())
        throw std::runtime_error(statement + ": " + query.lastError().text().toStdString());
    return query.value(0);
}

BenchDatabase::BenchDatabase(ChartroomSettings server)
    : m_settings(std::move(server)), m_control(m_settings, "bench-control")
{
    m_control.open();
    m_name = "atlasdesk_bench_" + std::to_string(::getpid());
    m_control.exec("DROP DATABASE IF EXISTS " + m_name);
    m_control.exec("CREATE DATABASE " + m_name + " CHARACTER SET utf8mb4");
    m_control.exec("USE " + m_name);
    std::string schema;
    for (const std::string& line : split(readFile(sourceDir() + "data/chartroom.sql"), '\n'))
        if (line.rfind("--", 0) != 0)
            schema += line + "\n";
    for (const std::string& statement : split(schema, ';'))
        if (statement.find_first_not_of(" \r\n\t") != std::string::npos)
            m_control.exec(statement);
    m_settings.database = m_name;
}

BenchDatabase::~BenchDatabase()
{
    try {
        m_control.exec("DROP DATABASE IF EXISTS " + m_name);
    } catch (...) {
    }
}

void BenchDatabase::empty()
{
    for (const char* table : {"Main", "Locations", "Themes", "Sources", "SyncState"})
        m_control.exec("TRUNCATE TABLE " + m_name + "." + table);
}

long long BenchDatabase::mainRows()
{
    return m_control.scalar("SELECT COUNT(*) FROM " + m_name + ".Main").toLongLong();
}

std::vector<QString> captureStatements(BenchDatabase& db, const std::function<void()>& run)
{
    Connection& control = db.control();
    const QString previousOutput = control.scalar("SELECT @@GLOBAL.log_output").toString();
    const long long controlThread = control.scalar("SELECT CONNECTION_ID()").toLongLong();
    control.exec("SET GLOBAL log_output='TABLE'");
    control.exec("TRUNCATE TABLE mysql.general_log");
    control.exec("SET GLOBAL general_log=1");
    std::exception_ptr failure;
    try {
        run();
    } catch (...) {
        failure = std::current_exception();
    }
    control.exec("SET GLOBAL general_log=0");
    control.exec(QStringLiteral("SET GLOBAL log_output='%1'").arg(previousOutput));
    if (failure)
        std::rethrow_exception(failure);

    // The CSV log table returns its rows in the order they were written.
    QSqlQuery query(control.database());
    if (!query.exec(QStringLiteral("SELECT thread_id, argument FROM mysql.general_log WHERE command_type='Query'")))
        throw std::runtime_error("cannot read the general log: " + query.lastError().text().toStdString());
    std::map<long long, std::vector<QString>> byThread;
    std::set<long long> writers;
    while (query.next()) {
        const long long thread = query.value(0).toLongLong();
        if (thread == controlThread)
            continue;
        QString statement = QString::fromUtf8(query.value(1).toByteArray());
        if (!statement.startsWith(QLatin1String("SELECT ")) && !statement.startsWith(QLatin1String("SET ")))
            writers.insert(thread);
        byThread[thread].push_back(std::move(statement));
    }
    control.exec("TRUNCATE TABLE mysql.general_log");
    if (writers.size() > 1)
        throw std::runtime_error("the run wrote on " + std::to_string(writers.size()) + " connections");
    if (writers.empty() && byThread.size() != 1)
        throw std::runtime_error("the run wrote nothing, on " + std::to_string(byThread.size()) + " connections");
    return std::move(byThread[writers.empty() ? byThread.begin()->first : *writers.begin()]);
}

} // namespace bench
