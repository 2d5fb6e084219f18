#include "catalogue/dmAtlasdeskU.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QStringList>

#include <cstdlib>

#include "support/Errors.h"

namespace {

const QString kDriver = QStringLiteral("QMYSQL");

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
    : QObject(parent), m_connectionName(NewChartroomConnectionName()), m_table(std::make_unique<QSqlQueryModel>())
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
    return ReadChartroomSettings();
}

ChartroomSettings TdmAtlasdesk::loginSettings() const
{
    ChartroomSettings settings = connectionSettings();
    settings.password = password(settings);
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
    const ChartroomSettings settings = connectionSettings();
    m_where = OpenChartroom(conChartroom, settings, password(settings));
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
    ExecuteOnChartroom(conChartroom, statement, m_where);
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
        const std::string message = ChartroomErrorText(m_table->lastError());
        m_table->clear();
        m_tableActive = false;
        throw Exception(message);
    }
    // The grid scrolls locally: the whole table is read now.
    while (m_table->canFetchMore())
        m_table->fetchMore();
    m_tableActive = true;
}
