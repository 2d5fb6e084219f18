#include "model/XMLFile.h"

#include <QDateTime>

#include "model/AtlasdeskOps.h"
#include "support/FileOps.h"
#include "support/PathOps.h"

namespace {

std::string now(const char* format)
{
    return QDateTime::currentDateTime().toString(QString::fromLatin1(format)).toStdString();
}

} // namespace

tXMLFile::tXMLFile(const std::string& itemPath) : XMLPath(itemPath)
{
    Classify();
}

tXMLFile::tXMLFile(Fields fields)
    : XMLPath(std::move(fields.xmlPath)), Category(fields.category), Name(std::move(fields.name)),
      Dir(std::move(fields.dir)), Ext(std::move(fields.ext))
{
}

tXMLFile::~tXMLFile()
{
    CloseDocument();
}

void tXMLFile::Classify()
{
    std::string p = XMLPath;
    // A path given with trailing separators ("/data/") names the same item
    // as without them; "/" itself stays.
    while (p.size() > 1 && p.back() == PathDelim)
        p.pop_back();

    Category = catUnknown;
    Ext.clear();
    if (p == std::string(1, PathDelim)) {
        Dir.clear();
        Name = p;
    } else {
        Dir = ExtractFilePath(p);
        Name = ExtractFileName(p);
    }

    if (IsDirectory(p)) {
        Category = catDirectory;
        if (Name != std::string(1, PathDelim))
            Name += PathDelim;
        XMLPath = IncludeTrailingPathDelimiter(p) + "metadata.xml";
        return;
    }

    Ext = LowerAscii(ExtractFileExt(p));
    Category = CategoryOfExtension(Ext);

    if (Ext != ".aux") {
        XMLPath = p + ".xml";
    } else {
        const std::string q = p.substr(0, p.size() - Ext.size());
        if (IsDirectory(q)) {
            XMLPath = q + PathDelim + "metadata.xml";
            Name = Name.substr(0, Name.size() - Ext.size());
        } else {
            for (const std::string& e : RasterExtensions) {
                if (FileExists(q + "." + e)) {
                    // The .aux accompanies a raster: not a data set of its own.
                    Category = catUnknown;
                    XMLPath = p;
                    return;
                }
            }
            XMLPath = p + ".xml";
        }
    }

    if (Ext == ".dbf" && FileExists(ChangeFileExt(p, ".shp")))
        Category = catUnknown; // the table of a shapefile
}

double DataSizeMB(const std::string& dataPath, uint8_t category)
{
    if (category == catDirectory)
        return 0;
    const int64_t bytes = IsDirectory(dataPath) ? DirectorySize(dataPath, false) : FileSize64(dataPath);
    return static_cast<double>(bytes) / 1024 / 1024;
}

double tXMLFile::GetSizeMB() const
{
    return DataSizeMB(DataPath(), Category);
}

void tXMLFile::NewDocument()
{
    Doc = std::make_unique<tXMLDocument>();
    Doc->DocType = EsriMetadataDocType;
    Doc->WriteProlog();
    Doc->CreateRoot("metadata");
    Doc->SaveAs(XMLPath);
}

void tXMLFile::OpenDocument()
{
    Doc = std::make_unique<tXMLDocument>(XMLPath);
}

void tXMLFile::CloseDocument()
{
    Doc.reset();
}

void tXMLFile::Stamp()
{
    if (!Doc)
        return;
    const std::string& syncPath = FieldMap[fiASITVD].XML_Path;
    if (!syncPath.empty())
        Doc->SetAttribute(syncPath, "Sync", false, "\"FALSE\"");
    tXMLNode stamp = Doc->CreateNodePath("metadata/metainfo/atlasdesk", false);
    Doc->SetNodeAttribute(stamp, "version", VersionString(4));
    Doc->SetNodeText("metadata/metainfo/atlasdesk/modifdate", now("yyyyMMdd"));
    Doc->SetNodeText("metadata/metainfo/atlasdesk/modiftime", now("HHmmss"));
    Doc->SetNodeText("metadata/metainfo/atlasdesk/manager", UserName);
    Doc->SetNodeText("metadata/metainfo/metc/metd", now("yyyyMMdd"));
    Doc->SetNodeText("metadata/metainfo/metc/cntinfo/cntorgp/cntper", StampContactPerson);
    Doc->SetNodeText("metadata/metainfo/metc/cntinfo/cntemail", StampContactEmail);
    Doc->SaveAs(XMLPath);
}
