#pragma once
// tXMLFile: one item of the data tree (a directory or a data file) paired
// with the metadata document that describes it in the ESRI profile.
//   directory D          -> D/metadata.xml
//   file F               -> F.xml (roads.shp -> roads.shp.xml)
//   grid.aux beside a grid directory -> grid/metadata.xml
#include <cstdint>
#include <memory>
#include <string>

#include "xml/XMLOps.h"

// The fixed contact the stamp writes.
inline const std::string StampContactPerson = "Atlasdesk geodata manager";
inline const std::string StampContactEmail = "geodata@atlasdesk.org";

// tXMLFile::GetSizeMB of the item at `dataPath` of `category`, for callers
// that hold the path alone.
double DataSizeMB(const std::string& dataPath, uint8_t category);

class tXMLFile {
public:
    // Classifies `itemPath` at once (reads the file system).
    explicit tXMLFile(const std::string& itemPath);
    // The fields as already derived elsewhere (a directory listing): no
    // file-system access.
    struct Fields {
        std::string xmlPath;
        uint8_t category = 0;
        std::string name, dir, ext;
    };
    explicit tXMLFile(Fields fields);
    ~tXMLFile();
    tXMLFile(const tXMLFile&) = delete;
    tXMLFile& operator=(const tXMLFile&) = delete;

    std::string XMLPath;               // path of the metadata file
    std::unique_ptr<tXMLDocument> Doc; // open document, or null
    uint8_t Category = 0;              // 0..9, see CategoryNames
    std::string Name;                  // file name; a directory's ends with '/'
    std::string Dir;                   // folder, with its trailing '/'
    std::string Ext;                   // lower-cased extension with its dot; "" for a directory

    // Derives XMLPath, Name, Dir, Ext and Category from the path in XMLPath.
    void Classify();
    // Dir + Name: the item's own path (a directory's ends with '/').
    std::string DataPath() const { return Dir + Name; }
    // Size in megabytes: 0 for a directory, the sum of the entries of a grid
    // directory, -1/1048576 for a missing file.
    double GetSizeMB() const;
    // A new metadata document (declaration, DOCTYPE comment, empty
    // <metadata>) saved at once to XMLPath.
    void NewDocument();
    // Loads XMLPath into Doc; a failure throws the load error, Doc stays null.
    void OpenDocument();
    // Frees Doc without saving.
    void CloseDocument();
    // Writes the edit stamp into Doc and saves it to XMLPath; no-op without Doc.
    void Stamp();
};
