#pragma once
// A data set's rows in the catalogue server's search tables (the shipped
// schema's SearchDataSets and SearchBoxes): what the team's search finds
// it by (catalogue/ServerSearch.h), written beside its Main row by the one
// row builder of "&Add to chartroom" and atlasdesk-sync (DataSetRows.h).
//
// The words are the store index's own (model/SearchWords.h), so that the
// server answers a query as the local index does; the texts are kept for
// the result list. Pure: any thread.
#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/CatalogueOps.h"
#include "model/SearchFields.h"

// The statements of one data set: REPLACE INTO SearchDataSets (which drops
// its old boxes with its old row), then the INSERT of its box parts, if it
// has a box. The record number is put in when they are sent.
struct SearchRows {
    std::string dataSetRow;
    std::string boxRow; // empty without a box
};

// The rows of `item` (below `serverRoot`), whose metadata `xmlPath`
// (modified at `metadataTime`, ns since the epoch, -1 unknown) gave
// `fields`.
SearchRows BuildSearchRows(const SearchFields& fields, const CatalogueItem& item, const std::string& serverRoot,
                           const std::string& xmlPath, int64_t metadataTime);
// Puts `recordNumber` in place of the one of a row made by BuildSearchRows.
void SetSearchRecordNumber(SearchRows& rows, int64_t recordNumber);

// The statement that takes the search rows of the data sets of `keyList`
// (DataSetKey literals, comma-separated) out, leaving rows whose record
// number is `keepFrom` or later; their boxes go with them.
std::string RemoveSearchRowsStatement(const std::string& keyList, int64_t keepFrom);

// The geometry of a box that does not cross the antimeridian (a part of
// one), as a statement writes it: its values exactly.
std::string BoxGeometry(const GeoBox& part);

// Records that a sync of the catalogue ended now (the server's clock, UTC),
// for the windows that search it.
std::string SearchSyncedStatement();

// Whether the catalogue has the search tables (a catalogue made before
// them has not, until the shipped schema is run again): the statement
// answers 2 when it has.
std::string SearchTablesCountStatement();
