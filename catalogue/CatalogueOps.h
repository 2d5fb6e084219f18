#pragma once
// The catalogue statements: one Main row per data set, its place in the
// Locations table, and the Themes and Sources tables of an upload run.
//
// Everything written into the catalogue uses '\' as folder separator, so
// that catalogues filled here match the ones filled on Windows: native
// paths are converted with CatalogueSeparators before the folder rules run.
// Numbers are written and parsed in the C locale ('.' as decimal separator),
// whatever the user's locale, so that the catalogue reads the same for all.
#include <QCollator>
#include <QDate>
#include <QDateTime>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/AtlasdeskOps.h"

class tXMLDocument;
class tXMLFile;

// Sends one statement to the catalogue (the data module's execute, or a
// recorder in tests). Errors are thrown to the caller.
using StatementExecutor = std::function<void(const std::string& statement)>;

// Text made safe between single quotes: "\" -> "\\", "'" -> "\'", then every
// pair of line feeds -> "<br>". Nothing else is touched.
std::string SqlEscape(std::string_view text);

// General number format: at most 15 significant digits, no trailing zeros,
// "." only when needed; fixed notation for 0 and for magnitudes from 0.0001
// with at most 15 integer digits, else scientific ("5E-5", "2.5E20").
std::string FormatGeneral(double value);

// The number written in `text` (blanks around it allowed, "." as decimal
// separator, optional exponent); 0 for empty or unparsable text.
double ParseCoordinate(std::string text);

// The record number of a moment: days since 1899-12-30 00:00 (with the time
// of day as fraction, to the millisecond) times 10^10, truncated.
int64_t RecordNumberOf(const QDate& date, int msecsSinceMidnight);
// The record number of the current local time. Numbers handed out by one
// process only grow: a second call within the same millisecond gets the
// previous number plus 1, so rows written in quick succession never share
// the key of table Main.
int64_t RecordNumberNow();

// "<short date> <long time>" in the user's locale; the time is left out at
// exactly midnight.
std::string DateTimeText(const QDateTime& when);

// The server root as the catalogue rules expect it: without trailing
// separators ("/srv/geo/" -> "/srv/geo"; the file-system root "/" -> "").
std::string NormalisedServerRoot(std::string_view serverRoot);

// The first two characters of the first folder below the root read as a
// decimal number, or 999 when they are not one. Data sets numbered 80 or
// more are not uploaded.
int FirstFolderNumber(const std::string& dir, const std::string& serverRoot);

// The mapped field of `doc`: its text at the entry's offset, escaped and in
// single quotes ('' when the element or the configured path is missing).
std::string QuotedFieldValue(const tXMLDocument& doc, const FieldMapEntry& entry);

// The folder texts of one data set.
struct FolderLists {
    std::string LocationList;  // "world,..." place names
    std::string ThemeList;     // theme folders, comma-separated
    std::string SourceList;    // folders below the last theme
    std::string ParentList;    // the BelongTo text of the Locations row
};

// The lowest / highest index of `parts` that is a theme (exact byte
// comparison against the sorted `themes`), or -1.
int FirstThemeIndex(const tVectorOfString& parts, const tVectorOfString& themes);
int LastThemeIndex(const tVectorOfString& parts, const tVectorOfString& themes);

// The state of one upload run: the configured themes (sorted by byte value,
// duplicates kept) and the sources met so far (sorted, and compared without
// regard to letter case, in the user's locale; a source met again is not
// added twice).
class UploadContext {
public:
    explicit UploadContext(tVectorOfString themes);

    const tVectorOfString& themes() const { return m_themes; }
    const std::vector<std::string>& sources() const { return m_sources; }
    void addSource(const std::string& source);
    void clearSources() { m_sources.clear(); }
    // Whether the catalogue has the search tables (see SearchRows.h): the
    // run writes and removes their rows only then. Set when the run has
    // asked the catalogue.
    bool searchTables() const { return m_searchTables; }
    void setSearchTables(bool present) { m_searchTables = present; }

private:
    tVectorOfString m_themes;
    std::vector<std::string> m_sources;
    QCollator m_collator;
    bool m_searchTables = false;
};

// The folders of one data set read as places, themes and sources.
struct FolderClassification {
    FolderLists Lists;
    // The Locations row of the deepest place folder; none when that folder
    // is "all" or when the data set lies below no place folder.
    std::optional<std::string> LocationsStatement;
    // The folders below the last theme, for the run's source set.
    tVectorOfString Sources;
};

// Reads the folders between `serverRoot` and `dir` (native paths; `dir`
// with its trailing separator). Pure: touches neither disk nor database.
FolderClassification ClassifyFolderPath(const std::string& dir, const std::string& serverRoot,
                                        const tVectorOfString& themes);

// ClassifyFolderPath for the data set's folder, then executes its Locations
// statement (if any), then adds its sources to the run's source set.
FolderLists ClassifyFolders(const tXMLFile& dataset, const std::string& serverRoot,
                            UploadContext& context, const StatementExecutor& execute);
// The second half of ClassifyFolders, for a classification made beforehand:
// executes its Locations statement (if any), adds its sources to the run's
// source set and returns its lists.
FolderLists ApplyFolderClassification(FolderClassification classification, UploadContext& context,
                                      const StatementExecutor& execute);

// What a Main row takes from a data set besides its document, copied so that
// the row can be built away from the data set (on another thread).
struct CatalogueItem {
    std::string Dir;      // native folder, with its trailing separator
    std::string Name;
    std::string Ext;
    uint8_t Category = 0;
    double SizeMB = 0;    // tXMLFile::GetSizeMB
};
// The item of `dataset`; reads its size from the file system.
CatalogueItem CatalogueItemOf(const tXMLFile& dataset);

// The texts of the Main row that place a data set, before escaping:
// PathFile (its folder below the root, with '\' separators and the
// trailing one) and FileName.
struct CataloguePlace {
    std::string pathFile;
    std::string fileName;
};
CataloguePlace CataloguePlaceOf(const CatalogueItem& item, const std::string& serverRoot);
// Its two parts, for callers that place many data sets of one folder.
std::string CataloguePathFile(const std::string& dir, const std::string& serverRoot);
std::string CatalogueFileName(const std::string& name);

// The REPLACE INTO Main statement of a data set whose document is open.
// Throws EInvalidOperation when it is not.
std::string BuildCatalogueRecord(const tXMLFile& dataset, const std::string& serverRoot,
                                 const FolderLists& lists, int64_t recordNumber);
// The same for an item and its document.
std::string BuildCatalogueRecord(const tXMLDocument& doc, const CatalogueItem& item,
                                 const std::string& serverRoot, const FolderLists& lists, int64_t recordNumber);
// Puts `recordNumber` in place of the record number of a statement made by
// BuildCatalogueRecord (rows built ahead get their number when they are sent).
void ReplaceRecordNumber(std::string& statement, int64_t recordNumber);
// The same with the record number of the current time.
std::string BuildCatalogueRecord(const tXMLFile& dataset, const std::string& serverRoot,
                                 const FolderLists& lists);
// Builds the data set's row statement and executes it.
void WriteCatalogueRecord(const tXMLFile& dataset, const std::string& serverRoot,
                          const FolderLists& lists, const StatementExecutor& execute);

// "REPLACE INTO Themes(Data) VALUES ('a'),('b');" for every configured
// theme; none when no theme is configured.
std::optional<std::string> ThemesStatement(const UploadContext& context);
// The same for table Sources and the run's sources; none when there are none.
std::optional<std::string> SourcesStatement(const UploadContext& context);
