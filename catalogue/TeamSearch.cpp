#include "catalogue/TeamSearch.h"

#include <charconv>

#include "model/AtlasdeskOps.h"
#include "support/StringOps.h"
#include "xml/XMLOps.h"

namespace {

const QString kLocalHead = QStringLiteral("Local index: ");
constexpr int kTimeoutSeconds = 3;

// "db1", or "db1:3306, db2:3306" for several servers.
std::string serverNames(const ChartroomSettings& settings)
{
    if (settings.otherHosts.empty())
        return settings.host;
    std::string names = settings.host + ":" + std::to_string(settings.port);
    for (const ChartroomHost& other : settings.otherHosts)
        names += ", " + other.host + ":" + std::to_string(other.port);
    return names;
}

} // namespace

TeamSearchSettings ReadTeamSearchSettings()
{
    TeamSearchSettings settings;
    settings.server = ReadChartroomSettings();
    const tXMLDocument config(ConfigFilePath());
    settings.server.user = Trim(config.GetNodeText("chartroom/search/user"));
    const std::string timeout = Trim(config.GetNodeText("chartroom/search/timeout"));
    int seconds = 0;
    const auto read = std::from_chars(timeout.data(), timeout.data() + timeout.size(), seconds);
    if (timeout.empty() || read.ec != std::errc() || read.ptr != timeout.data() + timeout.size() || seconds <= 0 ||
        seconds > 60)
        seconds = kTimeoutSeconds;
    settings.server.timeoutSeconds = seconds;
    settings.server.connectTimeoutSeconds = seconds;
    settings.indexLocally = LowerAscii(Trim(config.GetNodeText("chartroom/search/indexlocally"))) == "yes";
    return settings;
}

TeamSearch::TeamSearch(std::shared_ptr<const ServerSearch> server, std::shared_ptr<const SearchBackend> local,
                       std::shared_ptr<Health> health, std::chrono::milliseconds pause)
    : m_server(std::move(server)), m_local(std::move(local)), m_health(std::move(health)), m_pause(pause)
{
}

SearchAnswer TeamSearch::answer(const SearchQuery& query) const
{
    const auto now = std::chrono::steady_clock::now();
    QString why;
    {
        const std::lock_guard lock(m_health->mutex);
        if (now < m_health->downUntil)
            why = m_health->lastError;
    }
    if (why.isEmpty()) {
        SearchAnswer answer = m_server->answer(query);
        if (answer.error.isEmpty())
            return answer;
        why = answer.error;
        const std::lock_guard lock(m_health->mutex);
        m_health->downUntil = std::chrono::steady_clock::now() + m_pause;
        m_health->lastError = why;
    }
    SearchAnswer answer = m_local->answer(query);
    answer.source = kLocalHead + QStringLiteral("the team index on %1 did not answer (%2)")
                                     .arg(QString::fromStdString(serverNames(m_server->settings())), why);
    return answer;
}

bool TeamSearch::answeredLocally(const SearchAnswer& answer)
{
    return answer.source.startsWith(kLocalHead);
}
