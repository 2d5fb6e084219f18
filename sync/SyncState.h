#pragma once
// What the sync keeps in the catalogue beside the rows: for each data set,
// what it saw of the data set's metadata and data when it last wrote its
// rows (table SyncState of data/chartroom.sql), so that the next run, on
// any machine, reads only the data sets that changed. A data set's state is
// written in the same transaction as its rows.
//
// Functions here send statements on the caller's connection (the sync's
// thread).
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "catalogue/CatalogueOps.h"
#include "catalogue/DataSetRows.h"

class ChartroomConnection;

// What a walk saw of a data set: sizes and modification times
// (nanoseconds) of its metadata file and of its data.
struct SeenFiles {
    int64_t metadataSize = -1;
    int64_t metadataTime = -1;
    int64_t dataSize = -1;
    int64_t dataTime = -1;
    bool operator==(const SeenFiles&) const = default;
};

// One row of SyncState.
struct SyncStateRow {
    SeenFiles seen;
    bool sameRecipe = false; // written with the recipe of this run (RowRecipe)
    bool listed = true;      // its Main row was written; false: flagged Ignore, no row
};

// The catalogue as a run finds it at its start, by DataSetKey.
struct CatalogueSnapshot {
    std::unordered_map<DataSetKeyBytes, SyncStateRow, DataSetKeyHash> state;
    std::unordered_set<DataSetKeyBytes, DataSetKeyHash> mainKeys; // rows of Main that have a key
};

// A state to write.
struct StateWrite {
    CataloguePlace place;
    SeenFiles seen;
    bool listed = true;
};

// Whether the catalogue has table SyncState.
bool HasSyncStateTable(ChartroomConnection& connection);
// Reads SyncState, told which states were written with `recipe`, and the
// keys of Main.
CatalogueSnapshot LoadCatalogueSnapshot(ChartroomConnection& connection, const std::string& recipe);
// "PathFile" + "FileName" of the rows of Main or SyncState keyed `keys`,
// as the catalogue stores them.
std::unordered_map<std::string, std::string> LoadPlaces(ChartroomConnection& connection,
                                                        const std::vector<std::string>& keys);

// One statement that records `writes` made with `recipe`; empty for none.
std::string StateRowsStatement(const std::vector<StateWrite>& writes, const std::string& recipe);
// The statement that forgets the state of `keys`; empty for none.
std::string ForgetStateStatement(const std::vector<std::string>& keys);

// A fingerprint of everything besides a data set's own files that its rows
// are made from: the field map, the category extensions, the themes and the
// form of the row. A run whose fingerprint differs from the one a state was
// written with reads that data set again.
std::string RowRecipe(const tVectorOfString& themes, bool searchTables);
