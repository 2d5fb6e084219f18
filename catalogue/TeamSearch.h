#pragma once
// The search back end of a window whose configuration names a catalogue
// server: the team's index there first (see ServerSearch.h), asked with the
// short timeouts of its settings; the store's own index when the server
// does not answer, and the answer says so. After a failure the own index
// answers at once for a while, so that a server that hangs costs its
// timeout once, not at every key typed.
#include <chrono>
#include <memory>
#include <mutex>

#include <QString>

#include "catalogue/ServerSearch.h"
#include "model/LocalSearch.h"

class TeamSearch : public SearchBackend {
public:
    // Shared by the searches of one window (any thread).
    struct Health {
        std::mutex mutex;
        std::chrono::steady_clock::time_point downUntil{};
        QString lastError;
    };
    TeamSearch(std::shared_ptr<const ServerSearch> server, std::shared_ptr<const SearchBackend> local,
               std::shared_ptr<Health> health, std::chrono::milliseconds pause = std::chrono::seconds(60));
    SearchAnswer answer(const SearchQuery& query) const override;

private:
    std::shared_ptr<const ServerSearch> m_server;
    std::shared_ptr<const SearchBackend> m_local;
    std::shared_ptr<Health> m_health;
    std::chrono::milliseconds m_pause;
};
