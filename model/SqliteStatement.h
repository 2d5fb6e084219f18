#pragma once
// SQLite's own statement interface on a connection that Qt's driver
// (QSQLITE) opened: rows are read and written without a QVariant per value,
// which cost more than the search itself. Use on the thread that owns the
// connection. Every failure is thrown as SearchIndexError, in SQLite's
// words (never the statement), with what kind of fault it is.
#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <cstdint>
#include <string>

#include "model/IndexFault.h"

struct sqlite3;
struct sqlite3_stmt;

// The SQLite connection under `db` (opened by QSQLITE). Throws
// when the driver gives none, or when it runs another SQLite than the one
// this program is linked with (their structures could differ).
sqlite3* sqliteHandle(const QSqlDatabase& db);

// Runs `sql` (one or more statements without parameters or rows).
void sqliteExec(sqlite3* db, const char* sql);

class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, const QString& sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Parameters count from 1; each bind resets a statement that was run.
    SqliteStatement& bind(int index, int64_t value);
    SqliteStatement& bind(int index, double value);
    SqliteStatement& bind(int index, const QString& text); // stored as UTF-8
    SqliteStatement& bindBlob(int index, const std::string& bytes);
    SqliteStatement& bindNull(int index);

    // Steps once: true while a row is there. Throws on an error.
    bool next();
    // Runs a statement that gives no rows.
    void run();
    // Ready to run again (bindings stay).
    void reset();
    // Rows changed by the last run.
    int changes() const;

    bool isNull(int column) const;
    int64_t integer(int column) const;
    double real(int column) const;
    QString text(int column) const;
    std::string blob(int column) const;

private:
    void prepareToBind();
    [[noreturn]] void fail(int status) const;

    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
    bool m_ran = false;
};
