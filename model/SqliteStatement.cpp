#include "model/SqliteStatement.h"

#include <sqlite3.h>

#include <QSqlDriver>
#include <QSqlQuery>
#include <QVariant>

#include "support/Errors.h"

sqlite3* sqliteHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0 || !*static_cast<sqlite3* const*>(handle.data()))
        throw SearchIndexError(IndexFault::Failed, "Qt's SQLite driver gives no connection handle");
    // The driver must run the SQLite library this program calls.
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT sqlite_source_id()")) || !q.next() ||
        q.value(0).toString() != QString::fromLatin1(sqlite3_sourceid()))
        throw SearchIndexError(IndexFault::Failed, "Qt's SQLite driver runs another SQLite than " +
                                                       std::string(sqlite3_libversion()) +
                                                       " that this program was built with");
    return *static_cast<sqlite3* const*>(handle.data());
}

void sqliteExec(sqlite3* db, const char* sql)
{
    char* message = nullptr;
    const int status = sqlite3_exec(db, sql, nullptr, nullptr, &message);
    if (status != SQLITE_OK) {
        const std::string text = message ? message : sqlite3_errmsg(db);
        sqlite3_free(message);
        throw SearchIndexError(indexFaultOf(status), text);
    }
}

SqliteStatement::SqliteStatement(sqlite3* db, const QString& sql) : m_db(db)
{
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v3(db, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, &m_statement,
                           nullptr) != SQLITE_OK)
        fail(sqlite3_errcode(db));
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

void SqliteStatement::fail(int status) const
{
    throw SearchIndexError(indexFaultOf(status), sqlite3_errmsg(m_db));
}

void SqliteStatement::prepareToBind()
{
    if (m_ran) {
        sqlite3_reset(m_statement);
        m_ran = false;
    }
}

SqliteStatement& SqliteStatement::bind(int index, int64_t value)
{
    prepareToBind();
    if (sqlite3_bind_int64(m_statement, index, value) != SQLITE_OK)
        fail(sqlite3_errcode(m_db));
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, double value)
{
    prepareToBind();
    if (sqlite3_bind_double(m_statement, index, value) != SQLITE_OK)
        fail(sqlite3_errcode(m_db));
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, const QString& text)
{
    prepareToBind();
    const QByteArray utf8 = text.toUtf8();
    if (sqlite3_bind_text64(m_statement, index, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT,
                            SQLITE_UTF8) != SQLITE_OK)
        fail(sqlite3_errcode(m_db));
    return *this;
}

SqliteStatement& SqliteStatement::bindBlob(int index, const std::string& bytes)
{
    prepareToBind();
    if (sqlite3_bind_blob64(m_statement, index, bytes.data(), sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT) !=
        SQLITE_OK)
        fail(sqlite3_errcode(m_db));
    return *this;
}

SqliteStatement& SqliteStatement::bindNull(int index)
{
    prepareToBind();
    if (sqlite3_bind_null(m_statement, index) != SQLITE_OK)
        fail(sqlite3_errcode(m_db));
    return *this;
}

bool SqliteStatement::next()
{
    m_ran = true;
    const int status = sqlite3_step(m_statement);
    if (status == SQLITE_ROW)
        return true;
    if (status == SQLITE_DONE)
        return false;
    fail(status);
}

void SqliteStatement::run()
{
    prepareToBind();
    while (next()) {
    }
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_statement);
    m_ran = false;
}

int SqliteStatement::changes() const
{
    return sqlite3_changes(m_db);
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

int64_t SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double SqliteStatement::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

QString SqliteStatement::text(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(m_statement, column)) : QString();
}

std::string SqliteStatement::blob(int column) const
{
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
    return bytes ? std::string(bytes, size_t(sqlite3_column_bytes(m_statement, column))) : std::string();
}
