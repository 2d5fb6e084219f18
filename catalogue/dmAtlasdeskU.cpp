#include "dmAtlasdeskU.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QStringList>

#include <atomic>
#include <charconv>
#include <cstdlib>

#include "AtlasdeskOps.h"
#include "Errors.h"
#include "StringOps.h"
#include "XMLOps.h"

namespace {

const QString kDriver = QStringLiteral("QMYSQL");
constexpr int kDefaultPort = 3306;

std::string errorText(const QSqlError& error)
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

int parsePort(const std::string& text)
{
    const std::string t = Trim(text);
    int port = 0;
    const auto result = std::from_chars(t.data(), t.data() + t.size(), port);
    if (t.empty() || result.ec != std::errc() || result.ptr != t.data() + t.size() || port <= 0 ||
        port > 65535)
        return kDefaultPort;
    return port;
}

QString newConnectionName()
{
    static std::atomic<unsigned> serial{0};
    return QStringLiteral("chartroom-%1").arg(serial.fetch_add(1) + 1);
}

} // namespace

const std::array<ChartroomField, 37> TdmAtlasdesk::Fields = {{
    {"FileName", 20},         {"FileType", 20},     {"FileExt", 5},        {"PathFile", 0},
    {"ProdName", 20},         {"ProdEdition", 6},   {"ProdDesc", 20},      {"ProdURL", 20},
    {"CreatorName", 20},      {"CreatorNameLong", 20}, {"CreatorURL", 20}, {"ProviderName", 20},
    {"ProviderNameLong", 20}, {"ProviderURL", 20},  {"ModifDate", 10},     {"CreationDate", 10},
    {"Rights", 20},           {"RightURL", 20},     {"Remarks", 0},        {"Scale", 50},
    {"ASITVD", 5},            {"Theme", 20},        {"Location", 20},      {"Unit", 10},
    {"aLeft", 0},             {"aRight", 0},        {"aBottom", 0},        {"aTop", 0},
    {"West", 0},              {"East", 0},          {"North", 0},          {"South", 0},
    {"Thumbnail", 10},        {"RightID", 0},       {"Loc", 20},           {"Thematic", 20},
    {"Source", 20},
}};

TdmAtlasdesk::TdmAtlasdesk(QObject* parent)
    : QObject(parent), m_connectionName(newConnectionName()), m_table(std::make_unique<QSqlQueryModel>())
{
    // Without the driver the connection stays invalid; open() then says so.
    if (QSqlDatabase::isDriverAvailable(kDriver))
        conChartroom = QSqlDatabase::addDatabase(kDriver, m_connectionName);
}

TdmAtlasdesk::~TdmAtlasdesk()
{
    close();
    // The model and every handle must let go of the connection before Qt
    // can forget it.
    m_table.reset();
    const bool registered = conChartroom.isValid();
    conChartroom = QSqlDatabase();
    if (registered)
        QSqlDatabase::removeDatabase(m_connectionName);
}

std::string TdmAtlasdesk::tableStatement()
{
    std::string statement = "SELECT ";
    for (size_t i = 0; i < Fields.size(); ++i)
        statement += (i ? "," : "") + std::string(Fields[i].name);
    return statement + " FROM Main";
}

void TdmAtlasdesk::setConnectionSettings(const ChartroomSettings& settings)
{
    m_settings = settings;
}

ChartroomSettings TdmAtlasdesk::connectionSettings() const
{
    if (m_settings)
        return *m_settings;
    const tXMLDocument config(ConfigFilePath());
    ChartroomSettings settings;
    settings.host = Trim(config.GetNodeText("chartroom/host"));
    settings.port = parsePort(config.GetNodeText("chartroom/port"));
    settings.database = Trim(config.GetNodeText("chartroom/database"));
    settings.user = Trim(config.GetNodeText("chartroom/user"));
    return settings;
}

std::string TdmAtlasdesk::password(const ChartroomSettings& settings) const
{
    if (settings.password)
        return *settings.password;
    if (qEnvironmentVariableIsSet("ATLASDESK_CHARTROOM_PASSWORD"))
        return qEnvironmentVariable("ATLASDESK_CHARTROOM_PASSWORD").toStdString();
    if (passwordPrompt) {
        // The prompt answers nothing when the user cancels it: connecting
        // with a password the user did not give would only be refused.
        const std::optional<std::string> answer = passwordPrompt();
        if (!answer)
            throw Exception("Connecting to the Chartroom catalogue was cancelled");
        return *answer;
    }
    return {};
}

void TdmAtlasdesk::open()
{
    if (isOpen())
        return;
    if (!conChartroom.isValid())
        throw Exception("The MySQL driver of Qt SQL (QMYSQL) is not installed: "
                        "the Chartroom catalogue cannot be reached");
    const ChartroomSettings settings = connectionSettings();
    conChartroom.setHostName(QString::fromStdString(settings.host));
    conChartroom.setPort(settings.port);
    conChartroom.setDatabaseName(QString::fromStdString(settings.database));
    conChartroom.setUserName(QString::fromStdString(settings.user));
    conChartroom.setPassword(QString::fromStdString(password(settings)));
    conChartroom.setConnectOptions(QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=15"));
    const bool opened = conChartroom.open();
    // The password is needed only to log in; it is not kept.
    conChartroom.setPassword(QString());
    if (!opened)
        throw Exception(errorText(conChartroom.lastError()));
    try {
        prepareSession();
    } catch (...) {
        conChartroom.close();
        throw;
    }
}

void TdmAtlasdesk::prepareSession()
{
    execute("SET NAMES utf8mb4");

    QSqlQuery query(conChartroom);
    if (!query.exec(QStringLiteral("SELECT @@SESSION.sql_mode")) || !query.next())
        throw Exception(errorText(query.lastError()));
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
    execute("SET SESSION sql_mode='" + modes.join(QLatin1Char(',')).toStdString() + "'");
}

void TdmAtlasdesk::close()
{
    setTableActive(false);
    if (conChartroom.isValid() && conChartroom.isOpen())
        conChartroom.close();
}

bool TdmAtlasdesk::isOpen() const
{
    return conChartroom.isValid() && conChartroom.isOpen();
}

void TdmAtlasdesk::execute(const std::string& statement)
{
    if (!isOpen())
        throw Exception("The Chartroom catalogue is not connected");
    QSqlQuery query(conChartroom);
    if (!query.exec(QString::fromUtf8(statement.data(), static_cast<qsizetype>(statement.size()))))
        throw Exception(errorText(query.lastError()));
}

void TdmAtlasdesk::setTableActive(bool active)
{
    if (!active) {
        m_table->clear();
        m_tableActive = false;
        return;
    }
    if (!isOpen())
        throw Exception("The Chartroom catalogue is not connected");
    m_table->setQuery(QString::fromStdString(tableStatement()), conChartroom);
    if (m_table->lastError().isValid()) {
        const std::string message = errorText(m_table->lastError());
        m_table->clear();
        m_tableActive = false;
        throw Exception(message);
    }
    // The grid scrolls locally: the whole table is read now.
    while (m_table->canFetchMore())
        m_table->fetchMore();
    m_tableActive = true;
}
