#pragma once
// What the search index keeps of one metadata document: the texts people
// search for, its date and its geographic bounding box, read with the
// configuration's field map (ESRI profile, older and newer) or, for the
// ISO standards' documents, with their own paths (see IsoMetadata.h).
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "model/AtlasdeskOps.h"
#include "model/GeoBox.h"
#include "xml/ElementPaths.h"

// The field-map entries the index reads, copied from the configuration on
// the window thread so that a worker never touches the global tables.
struct SearchFieldPaths {
    FieldMapEntry title, abstract, purpose, keywords, places, originator, date;
    FieldMapEntry west, east, south, north;
    // A copy of the loaded configuration's entries. The purpose has no entry
    // of its own in the field map: it is read at "descript/purpose", beside
    // the abstract in the ESRI profile, else at the newer format's idPurp.
    // The date is the creation (publication) date.
    static SearchFieldPaths fromConfiguration();
};

struct SearchFields {
    QString title, abstract, purpose, keywords, places, originator;
    // As written; a date (20080315, 2008-03-15T10:00) as 2008-03-15, 2008-03 or 2008.
    QString date;
    std::optional<GeoBox> box; // degrees
    BoxReading boxReading = BoxReading::None;
    // No field the program knows could be read: a document of another
    // format (or an empty one).
    bool nothingKnown() const;
};

// A date as written in metadata (yyyymmdd, yyyy-mm-dd with or without a
// time, yyyymm, yyyy) as yyyy-mm-dd, yyyy-mm or yyyy; other texts trimmed.
QString normalizedDate(const QString& text);

// Reads the search fields of metadata documents. Every element path of the
// field map is matched in one pass over a document (paths that are more
// than element names are evaluated by XPath when they are asked for).
// Build one per run; read() may then run on several threads at once.
class SearchFieldReader {
public:
    explicit SearchFieldReader(const SearchFieldPaths& paths);

    // Reads `xmlPath` (any encoding the program reads) into `fields`. False
    // with `error` set when the document cannot be loaded or a field's path
    // cannot be evaluated; nothing is thrown. Each field is read with the
    // field map's precedence (the first of its paths that gives a text, at
    // the entry's offset; keywords and places: every match of that path,
    // joined by spaces), as the catalogue and the pages read it. A box is
    // kept only when its four values are numbers in degrees with south <=
    // north; a box whose west lies east of its east crosses the antimeridian.
    bool read(const std::string& xmlPath, SearchFields& fields, QString& error) const;
    // The same for a document already loaded (its fields are read, never
    // changed).
    bool read(const tXMLDocument& doc, SearchFields& fields, QString& error) const;

private:
    SearchFieldPaths m_fields;
    std::vector<std::string> m_paths; // every distinct path of the fields
    ElementPathSet m_matcher;         // over m_paths
};
