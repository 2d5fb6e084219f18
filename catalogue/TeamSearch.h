#pragma once
// The search back end of a window whose configuration names a catalogue
// server: the team's index there first (see ServerSearch.h), asked with the
// short timeouts of its settings; the store's own index when the server
// does not answer, and the answer says so. After a failure the own index
// answers at once for a while, so that a server that hangs costs its
// timeout once, not at every key typed.
//
// Answers run on the search service's worker (SearchService.h); the
// settings are read on the window's thread.
#include <chrono>
#include <memory>
#include <mutex>

#include <QString>

#include "catalogue/ServerSearch.h"
#include "model/LocalSearch.h"

// What a window's team search needs, from the configuration file: the
// catalogue's <chartroom> host, port and database, the searching account
// <chartroom><search><user> (read-only: see the README), a short timeout
// <search><timeout> (seconds; 3 unless set) and whether the window still
// indexes the share itself while the team index answers
// (<search><indexlocally>yes</indexlocally>; no unless set, the cheaper
// for the file server).
struct TeamSearchSettings {
    ChartroomSettings server; // the searching account's; password unset
    bool indexLocally = false;
    bool configured() const { return !server.host.empty() && !server.database.empty() && !server.user.empty(); }
};
// Throws the configuration's load error.
TeamSearchSettings ReadTeamSearchSettings();

class TeamSearch : public SearchBackend {
public:
    // Shared by the searches of one window (any thread).
    struct Health {
        std::mutex mutex;
        std::chrono::steady_clock::time_point downUntil{};
        QString lastError;
        // Whether the team index failed lately: searches answer locally.
        bool isDown()
        {
            const std::lock_guard lock(mutex);
            return std::chrono::steady_clock::now() < downUntil;
        }
    };
    TeamSearch(std::shared_ptr<const ServerSearch> server, std::shared_ptr<const SearchBackend> local,
               std::shared_ptr<Health> health, std::chrono::milliseconds pause = std::chrono::seconds(60));
    SearchAnswer answer(const SearchQuery& query) const override;
    // Whether `answer` (one of a TeamSearch) came from the store's own index.
    static bool answeredLocally(const SearchAnswer& answer);

private:
    std::shared_ptr<const ServerSearch> m_server;
    std::shared_ptr<const SearchBackend> m_local;
    std::shared_ptr<Health> m_health;
    std::chrono::milliseconds m_pause;
};
