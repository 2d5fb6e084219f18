#pragma once
// A private catalogue database on the test server: created from
// data/chartroom.sql for one test and dropped after it. The server is the
// one that scripts/test.sh starts and announces in ATLASDESK_TEST_DB_*.
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "catalogue/dmAtlasdeskU.h"

namespace cattest {

struct ServerAccount {
    std::string host;
    int port = 3306;
    std::string user;
    std::string password;
};

// The test server's account, or nothing when the environment names none.
inline std::optional<ServerAccount> serverFromEnvironment()
{
    if (!qEnvironmentVariableIsSet("ATLASDESK_TEST_DB_HOST") || !qEnvironmentVariableIsSet("ATLASDESK_TEST_DB_USER"))
        return std::nullopt;
    ServerAccount account;
    account.host = qEnvironmentVariable("ATLASDESK_TEST_DB_HOST").toStdString();
    account.port = qEnvironmentVariableIntValue("ATLASDESK_TEST_DB_PORT");
    if (account.port == 0)
        account.port = 3306;
    account.user = qEnvironmentVariable("ATLASDESK_TEST_DB_USER").toStdString();
    account.password = qEnvironmentVariable("ATLASDESK_TEST_DB_PASSWORD").toStdString();
    return account;
}

// In a test's SetUp: declares `account`, the test server's account; without
// one the test is skipped, or failed when CI is set (CI runs every test).
#define ATLASDESK_TEST_SERVER_ACCOUNT(account)                                                            \
    const std::optional<cattest::ServerAccount> account = cattest::serverFromEnvironment();              \
    if (!account) {                                                                                       \
        if (qEnvironmentVariableIsSet("CI"))                                                              \
            FAIL() << "CI is set but ATLASDESK_TEST_DB_HOST/USER name no test server (run scripts/test.sh)"; \
        GTEST_SKIP() << "no test server: start one with scripts/test-db.sh and export its ATLASDESK_TEST_DB_*"; \
    }

// The statements of a shipped SQL script: its lines without "--" comments,
// split at the semicolons (which its texts do not hold).
inline std::vector<std::string> sqlStatements(const std::string& script)
{
    std::string withoutComments;
    size_t start = 0;
    while (start < script.size()) {
        size_t end = script.find('\n', start);
        if (end == std::string::npos)
            end = script.size();
        const std::string line = script.substr(start, end - start);
        if (line.rfind("--", 0) != 0)
            withoutComments += line + "\n";
        start = end + 1;
    }
    std::vector<std::string> statements;
    size_t from = 0;
    while (from < withoutComments.size()) {
        size_t semicolon = withoutComments.find(';', from);
        if (semicolon == std::string::npos)
            semicolon = withoutComments.size();
        const std::string statement = withoutComments.substr(from, semicolon - from);
        if (statement.find_first_not_of(" \n\t\r") != std::string::npos)
            statements.push_back(statement);
        from = semicolon + 1;
    }
    return statements;
}

class TestDatabase {
public:
    explicit TestDatabase(const ServerAccount& account)
        : m_account(account),
          m_name("chartroom_test_" + std::to_string(QRandomGenerator::global()->generate64() % 1000000000000ULL)),
          m_connection("test-verify-" + m_name)
    {
        try {
            create();
        } catch (...) {
            drop();
            throw;
        }
    }

    ~TestDatabase() { drop(); }
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

private:
    void create()
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QMYSQL", QString::fromStdString(m_connection));
        db.setHostName(QString::fromStdString(m_account.host));
        db.setPort(m_account.port);
        db.setUserName(QString::fromStdString(m_account.user));
        db.setPassword(QString::fromStdString(m_account.password));
        if (!db.open())
            throw std::runtime_error("cannot reach the test server: " + db.lastError().text().toStdString());
        exec("CREATE DATABASE " + m_name + " CHARACTER SET utf8mb4");
        m_created = true;
        exec("USE " + m_name);
        std::string schema = testutil::readFile(ATLASDESK_SOURCE_DIR "/data/chartroom.sql");
        if (schema.empty())
            throw std::runtime_error("data/chartroom.sql is missing or empty");
        for (const std::string& statement : sqlStatements(schema))
            exec(statement);
    }

    void drop()
    {
        {
            QSqlDatabase db = database();
            if (m_created && db.isOpen())
                QSqlQuery(db).exec(QString::fromStdString("DROP DATABASE IF EXISTS " + m_name));
            db.close();
        }
        QSqlDatabase::removeDatabase(QString::fromStdString(m_connection));
    }

public:
    const std::string& name() const { return m_name; }

    ChartroomSettings settings() const
    {
        ChartroomSettings s;
        s.host = m_account.host;
        s.port = m_account.port;
        s.database = m_name;
        s.user = m_account.user;
        s.password = m_account.password;
        return s;
    }

    QSqlDatabase database() const { return QSqlDatabase::database(QString::fromStdString(m_connection), false); }

    void exec(const std::string& statement) const
    {
        QSqlQuery query(database());
        if (!query.exec(QString::fromStdString(statement)))
            throw std::runtime_error(statement + ": " + query.lastError().text().toStdString());
    }

    // Every row of a SELECT, each column as text (NULL as "NULL").
    std::vector<std::vector<std::string>> rows(const std::string& select) const
    {
        QSqlQuery query(database());
        if (!query.exec(QString::fromStdString(select)))
            throw std::runtime_error(select + ": " + query.lastError().text().toStdString());
        std::vector<std::vector<std::string>> result;
        while (query.next()) {
            std::vector<std::string> row;
            for (int i = 0; i < query.record().count(); ++i)
                row.push_back(query.value(i).isNull() ? "NULL" : query.value(i).toString().toStdString());
            result.push_back(std::move(row));
        }
        return result;
    }

    std::string scalar(const std::string& select) const
    {
        const auto r = rows(select);
        if (r.empty() || r[0].empty())
            throw std::runtime_error(select + ": no value");
        return r[0][0];
    }

private:
    ServerAccount m_account;
    std::string m_name;
    std::string m_connection;
    bool m_created = false;
};

// An account made by one of the shipped account scripts (data/*-account.sql)
// in `db`, with `user` and `password` in place of the script's `placeholder`
// and change-me; dropped again when this goes.
class ScriptedAccount {
public:
    ScriptedAccount(const TestDatabase& db, const std::string& scriptFile, const std::string& placeholder,
                    std::string user, const std::string& password)
        : m_db(db), m_user(std::move(user))
    {
        std::string script = testutil::readFile(scriptFile);
        if (script.find("'" + placeholder + "'@'%'") == std::string::npos)
            throw std::runtime_error(scriptFile + " does not make the account " + placeholder);
        script = QString::fromStdString(script)
                     .replace(QString::fromStdString(placeholder), QString::fromStdString(m_user))
                     .replace(QStringLiteral("change-me"), QString::fromStdString(password))
                     .toStdString();
        for (const std::string& statement : sqlStatements(script))
            m_db.exec(statement);
    }
    ~ScriptedAccount()
    {
        try {
            m_db.exec("DROP USER IF EXISTS '" + m_user + "'@'%'");
        } catch (...) {
        }
    }
    ScriptedAccount(const ScriptedAccount&) = delete;
    ScriptedAccount& operator=(const ScriptedAccount&) = delete;

private:
    const TestDatabase& m_db;
    std::string m_user;
};

} // namespace cattest
