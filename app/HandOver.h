#pragma once
// Handing data sets to other programs: the path that stands for a tree item
// and the clipboard or drag contents made of such paths. Paths are kept as
// the file system's bytes all the way, so names that are not UTF-8 survive.
#include <QStringList>
#include <string>
#include <vector>

class QMimeData;
class QUrl;
class tXMLFile;

// The data file of an item as "&Open file(s)" opens it: its metadata path
// without the last extension (roads.shp.xml -> roads.shp; <dir>/metadata
// for a directory).
std::string dataFileOf(const tXMLFile& file);
// What a drag or "Copy path" hands over: a directory's own path (ending in
// '/'), a data set's data file.
std::string handedOverPath(const tXMLFile& file);
// The file: URL of an absolute path given as bytes; every byte outside the
// unreserved set is percent-encoded, so the URL is plain ASCII.
QUrl fileUrlOfBytes(const std::string& path);
// The types handOverMimeData fills.
QStringList handOverMimeTypes();
// New mime data (owned by the caller) with the paths as text/uri-list and as
// text/plain, one a line, in the bytes the file system names them by.
QMimeData* handOverMimeData(const std::vector<std::string>& paths);
