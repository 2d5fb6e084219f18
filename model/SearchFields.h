#pragma once
// What the search index keeps of one metadata document: the texts people
// search for and the geographic bounding box, read with the configuration's
// field map.
#include <QString>
#include <string>

#include "AtlasdeskOps.h"

class tXMLDocument;

// The field-map entries the index reads, copied from the configuration on
// the window thread so that a worker never touches the global tables.
struct SearchFieldPaths {
    FieldMapEntry title, abstract, purpose, keywords, places, originator;
    FieldMapEntry west, east, south, north;
    // A copy of the loaded configuration's entries. The purpose has no entry
    // of its own in the field map: it is read at "descript/purpose", beside
    // the abstract in the ESRI profile, else at the newer format's idPurp.
    static SearchFieldPaths fromConfiguration();
};

struct SearchFields {
    QString title, abstract, purpose, keywords, places, originator;
    bool hasExtent = false;
    double west = 0, east = 0, south = 0, north = 0; // degrees
};

// The text of one field: the match at the entry's offset of the first of its
// paths that gives a text (ReadFieldWith); "" when none does.
std::string readFieldText(const tXMLDocument& doc, const FieldMapEntry& field);
// Every match of the first of the field's paths that matches, their texts
// joined by spaces (keywords).
std::string readFieldTexts(const tXMLDocument& doc, const FieldMapEntry& field);

// Reads `xmlPath` (any encoding the program reads) into `fields`. False with
// `error` set when the document cannot be loaded; nothing is thrown. A box
// is kept only when its four values are numbers within the globe with
// south <= north; a box whose west lies east of its east (it crosses the
// antimeridian) is widened to the whole band of latitudes.
bool readSearchFields(const std::string& xmlPath, const SearchFieldPaths& paths,
                      SearchFields& fields, QString& error);
