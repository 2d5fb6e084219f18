#pragma once
// The catalogue server of the benchmarks (the one scripts/bench.sh starts):
// connections of the benchmark itself, a catalogue database made from
// data/chartroom.sql for one run, and the statements a run sent, read from
// the server's general query log.
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/ChartroomConnection.h"

namespace bench {

// The server scripts/test-db.sh started, as it announces it.
std::optional<ChartroomSettings> serverFromEnvironment();

// A connection of the benchmark itself, outside the code under test.
class Connection {
public:
    Connection(const ChartroomSettings& settings, const std::string& name);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QSqlDatabase database() const;
    void open();
    void close();
    void exec(const QString& statement);
    void exec(const std::string& statement) { exec(QString::fromStdString(statement)); }
    void exec(const char* statement) { exec(QString::fromUtf8(statement)); }
    QVariant scalar(const std::string& statement);

private:
    QString m_name;
};

// A catalogue database made from data/chartroom.sql for this run, dropped after it.
class BenchDatabase {
public:
    explicit BenchDatabase(ChartroomSettings server);
    ~BenchDatabase();
    BenchDatabase(const BenchDatabase&) = delete;
    BenchDatabase& operator=(const BenchDatabase&) = delete;

    const ChartroomSettings& settings() const { return m_settings; }
    Connection& control() { return m_control; }

    // Every run starts from empty tables.
    void empty();
    long long mainRows();

private:
    ChartroomSettings m_settings;
    Connection m_control;
    std::string m_name;
};

// The statements `run` sends on the one connection it writes with, in
// order, from the server's general log. Connections that only read (SELECT
// and SET) are the run's own cost and are left out; a run that writes on
// more than one connection is refused.
std::vector<QString> captureStatements(BenchDatabase& db, const std::function<void()>& run);

} // namespace bench
