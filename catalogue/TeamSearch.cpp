#include "catalogue/TeamSearch.h"

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
    answer.source = QStringLiteral("Local index: the team index on %1 did not answer (%2)")
                        .arg(QString::fromStdString(m_server->settings().host), why);
    return answer;
}
