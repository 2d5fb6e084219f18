#include "model/AtlasdeskOps.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "support/PathOps.h"
#include "xml/XMLOps.h"

std::array<FieldMapEntry, FieldCount> FieldMap;
std::array<std::string, 10> CategoryExtensions;
tVectorOfString RasterExtensions;
std::string AllExtensions;
std::string AppDir;
std::string EsriPythonScriptsDir, ThumbnailsDir, LogsDir, ProjectionsDir;
std::string UserName;

namespace {

const std::array<const char*, FieldCount> kFieldNames = {
    "PathFile", "ProdName", "ProdEdition", "ProdDesc", "ProdURL", "CreatorURL",
    "CreatorName", "CreatorNameLong", "CreationDate", "ModifDate", "Remarks",
    "Rights", "RightURL", "RightID", "Scale", "Unit", "ProviderName",
    "ProviderNameLong", "ProviderURL", "ASITVD", "Theme", "Location",
    "Left", "Right", "Bottom", "Top", "West", "East", "North", "South",
    "Thumbnail", "EsriThumbnail", "Ignore", "Size"};

// Category elements of <filetypes>, for categories 2 to 7.
const std::array<const char*, 6> kFileTypeElements = {
    "vector", "raster", "gis", "table", "document", "executable"};

std::string g_programFolder;
std::string g_configFile; // named by SetConfigFilePath; empty: the search rule

std::string executableFolder()
{
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return IncludeTrailingPathDelimiter(".");
    return ExtractFilePath(std::string(buffer, static_cast<size_t>(n)));
}

// Whole decimal number, or 0 when the text is empty or not a whole number.
unsigned parseOffset(const std::string& text)
{
    const std::string t = Trim(text);
    if (t.empty())
        return 0;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(t.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < 0 || v > UINT_MAX)
        return 0;
    return static_cast<unsigned>(v);
}

void readFieldMap(const tXMLDocument& doc)
{
    for (int i = 0; i < FieldCount; ++i) {
        FieldMapEntry& e = FieldMap[i];
        e.Name = kFieldNames[i];
        // Every XML_Path of the field, in the file's order; empty ones are
        // left out unless the field has nothing else (then it reads as "").
        const std::string pathElement = "MetadataDOM/" + e.Name + "/XML_Path";
        e.XML_Path.clear();
        e.FallbackPaths.clear();
        const size_t count = doc.FindNodes(pathElement).size();
        for (unsigned k = 0; k < count; ++k) {
            std::string path = doc.GetNodeTextAt(pathElement, k);
            if (path.empty())
                continue;
            if (e.XML_Path.empty())
                e.XML_Path = std::move(path);
            else
                e.FallbackPaths.push_back(std::move(path));
        }
        e.Offset = i < FieldsWithOffset
                       ? parseOffset(doc.GetNodeText("MetadataDOM/" + e.Name + "/Offset"))
                       : 0;
    }
}

void readFileTypes(const tXMLDocument& doc)
{
    for (size_t k = 0; k < kFileTypeElements.size(); ++k) {
        const tVectorOfString list =
            doc.GetNodeTexts(std::string("*/filetypes/") + kFileTypeElements[k] + "/ext");
        std::string joined;
        for (const std::string& ext : list)
            joined += "." + ext;
        CategoryExtensions[k + 2] = joined;
        if (k + 2 == catRaster)
            RasterExtensions = list;
    }
    AllExtensions.clear();
    for (const std::string& e : CategoryExtensions)
        AllExtensions += LowerAscii(e);
}

void readDirectories(const tXMLDocument& doc)
{
    AppDir = ProgramFolder();
    EsriPythonScriptsDir = doc.GetNodeText("EsriPythonScripts") + PathDelim;
    ThumbnailsDir = AppDir + doc.GetNodeText("Thumbnails") + PathDelim;
    LogsDir = AppDir + doc.GetNodeText("Logs") + PathDelim;
    ProjectionsDir = doc.GetNodeText("Projections") + PathDelim;
}

// The texts at a rooted path of the configuration, sorted by byte value.
tVectorOfString sortedConfigTexts(const std::string& path)
{
    tVectorOfString texts = tXMLDocument(ConfigFilePath()).GetNodeTexts(path);
    SortStrings(texts);
    return texts;
}

} // namespace

std::string ProgramFolder()
{
    return g_programFolder.empty() ? executableFolder() : g_programFolder;
}

void SetProgramFolder(const std::string& folder)
{
    g_programFolder = folder.empty() ? folder : IncludeTrailingPathDelimiter(folder);
}

void SetConfigFilePath(const std::string& path)
{
    g_configFile = path;
}

std::string ConfigFilePath()
{
    if (!g_configFile.empty())
        return g_configFile;
    // An absolute name, so that a later change of the current directory
    // cannot make the writers address another file than the readers.
    if (FileExists(ConfigFileName)) {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd))
            return IncludeTrailingPathDelimiter(cwd) + ConfigFileName;
        return ConfigFileName;
    }
    const std::string own = UserConfigFilePath();
    if (!own.empty() && FileExists(own))
        return own;
    return ProgramFolder() + ConfigFileName;
}

std::string UserConfigFilePath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (folder.isEmpty())
        return {};
    return IncludeTrailingPathDelimiter(QFile::encodeName(QDir::cleanPath(folder)).toStdString()) +
           ConfigFileName;
}

std::string ConfigFilePathForWriting()
{
    const std::string current = ConfigFilePath();
    if (current != ProgramFolder() + ConfigFileName)
        return current;
    // Asking the file system itself (access() would answer for root's real
    // rights, not for the rights this process acts with).
    const int fd = ::open(current.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return current;
    }
    if (errno != EACCES && errno != EPERM && errno != EROFS)
        return current;  // missing or unusable: the save reports it
    const std::string own = UserConfigFilePath();
    return own.empty() ? current : own;
}

void ClearConfiguration()
{
    for (int i = 0; i < FieldCount; ++i)
        FieldMap[i] = FieldMapEntry{kFieldNames[i], {}, 0, {}};
    CategoryExtensions = {};
    RasterExtensions.clear();
    AllExtensions.clear();
    AppDir = ProgramFolder();
    EsriPythonScriptsDir = ThumbnailsDir = LogsDir = ProjectionsDir = std::string();
}

void LoadConfiguration()
{
    ClearConfiguration();
    const tXMLDocument doc(ConfigFilePath());
    readFieldMap(doc);
    readFileTypes(doc);
    readDirectories(doc);
}

namespace {

bool isBlank(const std::string& text)
{
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

} // namespace

std::string ReadFieldWith(const FieldMapEntry& entry, const FieldPathReader& readPath)
{
    if (entry.XML_Path.empty())
        return {};
    std::string first = readPath(entry.XML_Path);
    if (!isBlank(first))
        return first;
    // A document of the newer format has no element at the older path (or
    // an empty one): the next path that gives a text is the field.
    for (const std::string& path : entry.FallbackPaths) {
        std::string text = readPath(path);
        if (!isBlank(text))
            return text;
    }
    return first;
}

std::string ReadField(const tXMLDocument& doc, int field)
{
    if (field < 0 || field >= FieldCount)
        throw EInvalidOperation("No metadata field number " + std::to_string(field));
    const FieldMapEntry& entry = FieldMap[static_cast<size_t>(field)];
    if (field < FieldsWithOffset)
        return ReadFieldWith(entry, [&](const std::string& path) { return doc.GetNodeTextAt(path, entry.Offset); });
    return ReadFieldWith(entry, [&](const std::string& path) { return doc.GetNodeText(path); });
}

uint8_t CategoryOfExtension(const std::string& ext)
{
    uint8_t category = catUnknown;
    if (ext.empty())
        return category;
    for (uint8_t c = 0; c < CategoryExtensions.size(); ++c)
        if (CategoryExtensions[c].find(ext) != std::string::npos)
            category = c;
    return category;
}

tVectorOfString ReadServerList()
{
    return sortedConfigTexts("atlasdesk/directories/servers/path");
}

void AppendServer(const std::string& folder)
{
    const std::string target = ConfigFilePathForWriting();
    tXMLDocument doc(ConfigFilePath(), tXMLDocument::Layout::Keep);
    tXMLNode path = doc.CreateNodePath("atlasdesk/directories/servers/path", true);
    doc.AppendText(path, folder);
    if (target != doc.FileName && !QDir().mkpath(QFile::decodeName(QByteArray::fromStdString(ExtractFilePath(target)))))
        throw EInOutError("Cannot save " + target + ": its folder cannot be created");
    doc.SaveAs(target);
}

tVectorOfString ReadThemes()
{
    return sortedConfigTexts("*/keywords/themes/data");
}
