// "&Add to chartroom" into the local MariaDB, against a bare loop that
// executes the very statements the run sent, captured by the server's
// general query log.
#include <unistd.h>

#include <QEventLoop>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <iostream>
#include <optional>
#include <set>
#include <stdexcept>

#include "BenchWindow.h"
#include "Benchmarks.h"
#include "app/ServerTree.h"
#include "app/dlgAtlasdeskU.h"
#include "catalogue/dmAtlasdeskU.h"

namespace bench {

namespace {

constexpr size_t kDatasets = 2000;

// The server scripts/test-db.sh started, as it announces it.
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

// A connection of the benchmark itself, outside the code under test.
class Connection {
public:
    Connection(const ChartroomSettings& settings, const std::string& name) : m_name(QString::fromStdString(name))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), m_name);
        db.setHostName(QString::fromStdString(settings.host));
        db.setPort(settings.port);
        db.setUserName(QString::fromStdString(settings.user));
        db.setPassword(QString::fromStdString(settings.password.value_or(std::string())));
        db.setDatabaseName(QString::fromStdString(settings.database));
    }
    ~Connection()
    {
        database().close();
        QSqlDatabase::removeDatabase(m_name);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QSqlDatabase database() const { return QSqlDatabase::database(m_name, false); }
    void open()
    {
        QSqlDatabase db = database();
        if (!db.open())
            throw std::runtime_error("cannot reach the database server: " + db.lastError().text().toStdString());
    }
    void close() { database().close(); }
    void exec(const QString& statement)
    {
        QSqlQuery query(database());
        if (!query.exec(statement))
            throw std::runtime_error(statement.left(200).toStdString() + ": " + query.lastError().text().toStdString());
    }
    void exec(const std::string& statement) { exec(QString::fromStdString(statement)); }
    void exec(const char* statement) { exec(QString::fromUtf8(statement)); }
    QVariant scalar(const std::string& statement)
    {
        QSqlQuery query(database());
        if (!query.exec(QString::fromStdString(statement)) || !query.next())
            throw std::runtime_error(statement + ": " + query.lastError().text().toStdString());
        return query.value(0);
    }

private:
    QString m_name;
};

// A catalogue database made from data/chartroom.sql for this run, dropped after it.
class BenchDatabase {
public:
    explicit BenchDatabase(ChartroomSettings server)
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
    ~BenchDatabase()
    {
        try {
            m_control.exec("DROP DATABASE IF EXISTS " + m_name);
        } catch (...) {
        }
    }
    BenchDatabase(const BenchDatabase&) = delete;
    BenchDatabase& operator=(const BenchDatabase&) = delete;

    const ChartroomSettings& settings() const { return m_settings; }
    Connection& control() { return m_control; }

    // Every run starts from empty tables.
    void empty()
    {
        for (const char* table : {"Main", "Locations", "Themes", "Sources"})
            m_control.exec("TRUNCATE TABLE " + m_name + "." + table);
    }
    long long mainRows() { return m_control.scalar("SELECT COUNT(*) FROM " + m_name + ".Main").toLongLong(); }

private:
    static std::vector<std::string> split(const std::string& text, char separator)
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

    ChartroomSettings m_settings;
    Connection m_control;
    std::string m_name;
};

// The statements one run sends, in order, from the server's general log.
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
    std::vector<QString> statements;
    std::set<long long> threads;
    while (query.next()) {
        const long long thread = query.value(0).toLongLong();
        if (thread == controlThread)
            continue;
        threads.insert(thread);
        statements.push_back(QString::fromUtf8(query.value(1).toByteArray()));
    }
    control.exec("TRUNCATE TABLE mysql.general_log");
    if (threads.size() != 1)
        throw std::runtime_error("the upload used " + std::to_string(threads.size()) + " connections");
    return statements;
}

// 10_world/21_switzerland/31_vaud/<theme>/<source>/: four folders of 500
// data sets, every one of them uploaded.
void buildStore(const std::string& root)
{
    const std::string region = root + "10_world/21_switzerland/31_vaud/";
    unsigned serial = 0;
    for (const char* theme : {"transport", "hydrology"}) {
        for (const char* source : {"swisstopo", "cantonal"}) {
            const std::string dir = region + theme + "/" + source + "/";
            makeDirectories(dir);
            for (size_t i = 0; i < kDatasets / 4; ++i, ++serial) {
                const std::string name = datasetName(serial);
                writeDataset(dir, name, serial % 3 ? ".shp" : ".tif", {name, theme, "Vaud", serial});
            }
        }
    }
}

} // namespace

void runUpload(ResultTable& table)
{
    const std::string figure = "Upload vs bare statement loop";
    const std::string input = formatCount(kDatasets) + " data sets";
    std::cerr << "upload\n";
    try {
        const std::optional<ChartroomSettings> server = serverFromEnvironment();
        if (!server)
            throw std::runtime_error("no database server (ATLASDESK_TEST_DB_* unset; scripts/bench.sh starts one)");
        BenchDatabase db(*server);
        ScratchDir store("upload");
        buildStore(store.path());

        TdmAtlasdesk dataModule;
        dataModule.setConnectionSettings(db.settings());
        BenchWindow bw({}, &dataModule);
        TdlgAtlasdesk& w = bw.window();
        w.ConnectToServer(store.path());
        w.mnuSelectChildrenClick();
        bw.waitForListings();
        const size_t selected = static_cast<size_t>(w.tvXMLTree->selectionCount());
        if (selected < kDatasets)
            throw std::runtime_error("only " + std::to_string(selected) + " nodes are selected");
        bw.takeErrors();

        const auto upload = [&] {
            db.empty();
            // Timed until the run's end has reached the window.
            const double t = timed([&] {
                QEventLoop loop;
                QObject::connect(&w, &TdlgAtlasdesk::catalogueTaskFinished, &loop, &QEventLoop::quit);
                w.mnuAddToChartroomClick();
                if (w.isCatalogueTaskRunning())
                    loop.exec();
            });
            const QStringList errors = bw.takeErrors();
            if (!errors.isEmpty())
                throw std::runtime_error("the upload reported: " + errors.join("; ").toStdString());
            if (db.mainRows() != static_cast<long long>(kDatasets))
                throw std::runtime_error("the upload wrote " + std::to_string(db.mainRows()) + " rows");
            settle();
            return t;
        };
        const std::vector<QString> statements = captureStatements(db, [&] { upload(); });

        Connection bareConnection(db.settings(), "bench-bare");
        const auto bare = [&] {
            db.empty();
            const double t = timed([&] {
                bareConnection.open();
                for (const QString& statement : statements)
                    bareConnection.exec(statement);
                bareConnection.close();
            });
            if (db.mainRows() != static_cast<long long>(kDatasets))
                throw std::runtime_error("the bare loop wrote " + std::to_string(db.mainRows()) + " rows");
            return t;
        };
        const PairedMedians m = measurePaired(7, bare, upload);
        char rate[64];
        std::snprintf(rate, sizeof rate, "%.0f data sets/s", static_cast<double>(kDatasets) / m.real);
        table.addJudged(figure, input + ", " + std::to_string(statements.size()) + " statements",
                        formatDuration(m.real) + " (" + rate + ") vs " + formatDuration(m.bare), m.real / m.bare, 1.5,
                        "x");
    } catch (const std::exception& e) {
        table.addFailure(figure, input, e.what());
    }
}

} // namespace bench
