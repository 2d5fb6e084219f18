#pragma once
// The configuration file "AtlasdeskView.ini.xml" and the global tables it
// fills once at start-up: field map, category extension lists, directory
// settings. Also the server list and the catalogue themes kept in that file.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/StringOps.h"

inline const std::string ConfigFileName = "AtlasdeskView.ini.xml";

// Category numbers: also the tree picture and the Tag of the filter box.
enum Category : uint8_t {
    catUnknown = 0, catDirectory = 1, catVector = 2, catRaster = 3, catGIS = 4,
    catTable = 5, catDocument = 6, catExecutable = 7, catFile = 8, catCatalog = 9
};
inline const std::array<std::string, 10> CategoryNames = {
    "Unknown", "Directory", "Vector", "Raster", "GIS file",
    "Table", "Document", "Executable", "File", "Catalog"};

// The 34 metadata fields of the field map, in the configuration's order.
enum FieldIndex : int {
    fiPathFile, fiProdName, fiProdEdition, fiProdDesc, fiProdURL, fiCreatorURL,
    fiCreatorName, fiCreatorNameLong, fiCreationDate, fiModifDate, fiRemarks,
    fiRights, fiRightURL, fiRightID, fiScale, fiUnit, fiProviderName,
    fiProviderNameLong, fiProviderURL, fiASITVD, fiTheme, fiLocation,
    fiLeft, fiRight, fiBottom, fiTop, fiWest, fiEast, fiNorth, fiSouth,
    fiThumbnail, fiEsriThumbnail, fiIgnore, fiSize,
    FieldCount
};
inline constexpr int FieldsWithOffset = 22;

// A field may be configured with several XML_Path elements, one per metadata
// format it is found in (the older profile's idinfo/... and the newer
// dataIdInfo/...): the first path whose text is not blank gives the field.
struct FieldMapEntry {
    std::string Name;
    std::string XML_Path;  // the first configured path, the one elements are created at; may be empty
    unsigned Offset = 0;   // kept for the first 22 fields only; applies to every path of the field
    std::vector<std::string> FallbackPaths; // the further configured paths, in the file's order
};

extern std::array<FieldMapEntry, FieldCount> FieldMap;
// Per category: its extensions, each with its dot, concatenated (".shp.e00").
extern std::array<std::string, 10> CategoryExtensions;
// The raster extensions as configured, without dots, in file order.
extern tVectorOfString RasterExtensions;
// The lower-cased CategoryExtensions concatenated: the tree scan's pre-filter.
extern std::string AllExtensions;
// The program's folder, with its trailing separator.
extern std::string AppDir;
extern std::string EsriPythonScriptsDir, ThumbnailsDir, LogsDir, ProjectionsDir;
// Login name of the user running the program; set at start-up.
extern std::string UserName;

// The program's folder: the executable's, unless a test has set another one.
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);

// Where the configuration is read from, the first that exists of:
//  1. "AtlasdeskView.ini.xml" in the current directory;
//  2. the user's own copy, UserConfigFilePath();
//  3. the shared one in the program's folder.
// Every reader of the file uses this one rule. Absolute unless the current
// directory cannot be told.
std::string ConfigFilePath();
// Makes ConfigFilePath() name `path` from now on, whatever exists (a
// command given its configuration file); the empty path restores the rule.
void SetConfigFilePath(const std::string& path);
// The user's own configuration: "AtlasdeskView.ini.xml" in the application's
// configuration folder as QStandardPaths names it (AppConfigLocation, which
// follows the application name). The file may not exist.
std::string UserConfigFilePath();
// Where a change of the configuration is saved: the file ConfigFilePath()
// reads, unless that is the shared file of the program's folder and this
// user may not write it; then the user's own copy, which the save creates
// from the shared one (and which is read first from then on).
std::string ConfigFilePathForWriting();

class tXMLDocument;

// The text of metadata field `field` (a FieldIndex) in `doc`: the text of
// the first configured path (at the field's offset for the first 22 fields,
// the first match for the others) that is not blank; when every path is
// blank or absent, the first path's text, so that a field with one path
// reads exactly as that path. "" for a field without a path. Errors of the
// XPath processor (EInvalidXMLOp) reach the caller. Any thread, as long as
// the field map is not being loaded and `doc` is not used elsewhere.
std::string ReadField(const tXMLDocument& doc, int field);
// The same precedence over any way of reading one path: `readPath` is asked
// for the entry's paths in order and gives the path's text.
using FieldPathReader = std::function<std::string(const std::string& path)>;
std::string ReadFieldWith(const FieldMapEntry& entry, const FieldPathReader& readPath);

// Fills the globals from the configuration file. A missing or malformed file
// throws the load error and leaves every table empty.
void LoadConfiguration();
// Empties every global table (start-up state).
void ClearConfiguration();

// The category of a file extension (lower case, with its dot): the highest
// category whose extension list contains it as a substring; 0 for none or "".
uint8_t CategoryOfExtension(const std::string& ext);

// The configured servers, trimmed, sorted by byte value (duplicates kept).
tVectorOfString ReadServerList();
// Appends `folder` as a new last atlasdesk/directories/servers/path element
// to the configuration and saves it to ConfigFilePathForWriting(), keeping
// the file's layout: the new element is the only difference. Throws the load
// error, the save error or "Ambiguous node Xpath for ...".
void AppendServer(const std::string& folder);
// The catalogue's theme keywords ("*/keywords/themes/data"), sorted by byte value.
tVectorOfString ReadThemes();
