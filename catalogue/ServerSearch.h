#pragma once
// The search back end of the catalogue server: the team's index in the
// search tables that "&Add to chartroom" and atlasdesk-sync keep (see
// SearchRows.h). It answers the pane's query object with the rules of the
// store's own index (SearchQuery.h): the same words, the same rank, the
// same extent and categories, the same cut.
//
// An answer says where it comes from: "Team index on HOST, synced 02:10"
// (the end of the last sync, in local time; with its date when it was not
// today), or "..., not synced yet".
//
// Each thread that answers keeps a connection of its own to the server
// (Qt SQL's connections belong to one thread), opened at its first answer
// and again after it was lost.
#include <QDateTime>
#include <string>

#include "catalogue/ChartroomConnection.h"
#include "model/SearchBackend.h"

class ServerSearch : public SearchBackend {
public:
    // `settings` with the password; `storeRoot`: the store as this machine
    // mounts it (the hits' paths are made below it).
    ServerSearch(ChartroomSettings settings, std::string storeRoot);
    SearchAnswer answer(const SearchQuery& query) const override;

    const ChartroomSettings& settings() const { return m_settings; }

private:
    ChartroomSettings m_settings;
    std::string m_root; // with its trailing separator
};

// The source text of an answer of `host` whose last sync ended at `synced`
// (UTC; invalid: none yet), said at `now` (local time).
QString TeamIndexSource(const std::string& host, const QDateTime& synced, const QDateTime& now);
