#pragma once
// TdmAtlasdesk: the data module of the Chartroom catalogue, a MySQL/MariaDB
// database reached through Qt SQL's QMYSQL driver. It holds the connection
// of the catalogue page, the read-only table model of table Main that the
// page shows, and the login that the catalogue runs use.
// Window thread only: the connection and the model belong to the thread
// that made the data module. A catalogue run opens a ChartroomConnection
// of its own on its worker.
#include <QObject>
#include <QSqlDatabase>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "catalogue/ChartroomConnection.h"

class QSqlQueryModel;

// A field of the catalogue grid: its column in Main and its display width
// in characters (0: the grid's default width).
struct ChartroomField {
    const char* name;
    int displayWidth;
};

class TdmAtlasdesk : public QObject {
    Q_OBJECT
public:
    // The 37 fields of table Main that the grid shows, in grid order.
    static const std::array<ChartroomField, 37> Fields;

    explicit TdmAtlasdesk(QObject* parent = nullptr);
    ~TdmAtlasdesk() override;

    // The catalogue connection (closed until open()). Its connection name is
    // unique to this data module.
    QSqlDatabase conChartroom;

    // Asked for the password when neither the settings nor the environment
    // give one; an empty result means no password.
    std::function<std::optional<std::string>()> passwordPrompt;

    // Uses `settings` from now on instead of the configuration file.
    void setConnectionSettings(const ChartroomSettings& settings);
    // The settings the next open() uses (the configuration file is read
    // here unless settings were set). Throws the configuration's load error.
    ChartroomSettings connectionSettings() const;
    // connectionSettings() with the password resolved (environment, then
    // the prompt): what a catalogue run's own connection logs in with.
    // Window thread only (the prompt is a dialog). Throws the configuration's
    // load error, or when the user cancels the prompt.
    ChartroomSettings loginSettings() const;

    // Opens the connection (nothing when it is open already): UTF-8
    // (utf8mb4) session, backslash escapes on, non-strict session mode.
    // Throws Exception with the driver's and the server's message, or when
    // the MySQL driver of Qt SQL is not installed.
    void open();
    // Closes the table and the connection; nothing when closed.
    void close();
    bool isOpen() const;

    // Sends `statement` (UTF-8) once, as it is: no placeholders are looked
    // for, so colons and question marks in values reach the server unchanged.
    // Throws Exception with the database's message.
    void execute(const std::string& statement);

    // The read-only model of table Main (the 37 fields), empty while closed.
    QSqlQueryModel* tblChartroom() const { return m_table.get(); }
    // true: fetches the whole of Main into the model (the connection must be
    // open; throws the database's message otherwise); false: empties it.
    void setTableActive(bool active);
    bool isTableActive() const { return m_tableActive; }

    // "SELECT <the 37 fields> FROM Main".
    static std::string tableStatement();

private:
    std::string password(const ChartroomSettings& settings) const;

    QString m_connectionName;
    std::optional<ChartroomSettings> m_settings;
    std::unique_ptr<QSqlQueryModel> m_table;
    bool m_tableActive = false;
    std::string m_where; // "host:port" of the open connection, for messages
};
