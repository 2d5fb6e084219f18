#pragma once
// What one data set puts into the catalogue, and how it is sent: the one
// path through which "&Add to chartroom" and atlasdesk-sync both build and
// write a data set's rows, so that the two never drift apart.
//
// PrepareDataSet reads the metadata document and builds the statements; it
// touches no database and may run on any thread (while the configuration
// stays loaded), ahead of the rows before it. WriteDataSetRows sends them,
// in their order, on the caller's connection. A further table that holds a
// row per data set is built in PrepareDataSet and sent in WriteDataSetRows,
// and its row goes in RemoveDataSetsStatements.
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/CatalogueOps.h"
#include "catalogue/SearchRows.h"

class SearchFieldReader;

// The statements of one data set, built and not yet sent.
struct DataSetRows {
    // Its folder lists, its Locations row and its sources.
    FolderClassification folders;
    // REPLACE INTO Main; the record number is put in when it is sent.
    // Empty when the data set gets no Main row (flagged Ignore, or not
    // listed by the catalogue at all).
    std::string mainRow;
    // Its rows in the search tables, with the record number of the moment
    // they are written (its Main row's, when it has one).
    SearchRows search;
};

// Which rows a data set gets. The team's search covers every data set of
// the store, as the store's own index does; the catalogue's Main table
// lists only those below a first folder numbered under 80 that have
// metadata.
enum class RowsWanted {
    All,          // a data set the catalogue lists: its Main row and its search rows
    Search,       // one it does not list: its search rows only
    SearchByName, // one without metadata: search rows found by its file name only
};

// A data set read for the catalogue.
struct PreparedDataSet {
    enum class Outcome {
        Rows,       // `rows` are to be written
        Ignored,    // its metadata flags it Ignore: no Main row (`rows` holds its search rows)
        Unreadable, // the metadata document could not be read: `readError`
        Failed,     // reading a field or building the row failed: `error`
    };
    Outcome outcome = Outcome::Unreadable;
    std::string readError;
    std::exception_ptr error;
    // The folders were classified (rows.folders holds them), also when
    // building the row failed after that.
    bool foldersClassified = false;
    DataSetRows rows;
};

// Whether the Ignore field of `doc` reads yes, in any letter case (its first
// configured path, first match).
bool IgnoreFlagSet(const tXMLDocument& doc);

// Reads `xmlPath`, the metadata of `item`, and builds its rows below
// `serverRoot` (normalised) with `themes` (sorted), its search fields read
// by `search` (made from the configuration of the run); `wanted` says
// which (with SearchByName `xmlPath` is not read, only kept in the row).
// The data set's size is read here (item.SizeMB is replaced). Never
// throws: what went wrong is in the outcome.
PreparedDataSet PrepareDataSet(const std::string& xmlPath, CatalogueItem item, const std::string& serverRoot,
                               const tVectorOfString& themes, const SearchFieldReader& search,
                               RowsWanted wanted = RowsWanted::All);

// Sends the statements of a data set's rows (its Main row numbered
// `recordNumber`, when it has one, and the search rows beside it) in place
// of the executor: a caller that gives them one transaction of their own.
using DataSetRowWriter = std::function<void(int64_t recordNumber, const std::vector<std::string>& statements)>;

// Sends `rows`: the Locations row and the Main row with the record number
// of this moment (when it has a Main row), then its search rows when the
// catalogue has the search tables (context.searchTables()); the Main row and
// its search rows through `writeRows` when given; adds the sources to
// `context`. Errors of `execute` are thrown.
void WriteDataSetRows(DataSetRows& rows, UploadContext& context, const StatementExecutor& execute,
                      const DataSetRowWriter& writeRows = {});

// The statements that take the rows of the data sets `keys` (DataSetKey
// values) out of the catalogue, leaving alone rows whose record number is
// `keepFrom` or later (those written by the run that removes). Locations,
// Themes and Sources keep their names: other data sets may name them.
std::vector<std::string> RemoveDataSetsStatements(const std::vector<std::string>& keys, int64_t keepFrom,
                                                  bool searchTables);

// The key of the Main row of the data set at `place`, as the server makes
// it (DataSetKey): the SHA-256 of "PathFile/FileName" as the row stores
// them, 32 bytes.
std::string DataSetKeyOf(const CataloguePlace& place);
// The text the catalogue keeps of a text sent quoted (SqlEscape turns every
// pair of line feeds into "<br>").
std::string CatalogueStoredText(const std::string& text);
// `key` as a hexadecimal literal for a statement: 0x0A1B...
std::string KeyLiteral(const std::string& key);
