#pragma once
// Metadata documents of the ISO standards (ISO 19139: namespaces gmd and
// gco; ISO 19115-3: mdb, mri, cit, gex ...): what the search reads of them.
// Their elements live in namespaces, which the field map's element paths
// do not reach, so they are read here with their own paths.
//
// Any thread; the document is only read.
#include <QString>

class tXMLDocument;

struct IsoTexts {
    QString title;      // the citation's title
    QString abstract, purpose;
    QString keywords;   // keywords (other than places) and topic categories, joined by spaces
    QString places;     // place keywords, extent descriptions and geographic identifiers
    QString originator; // the originator's organisation (or name), else the point of contact's
    QString date;       // the citation's publication date, else its creation or revision date
    // The geographic bounding box (the union of the boxes when there are
    // several that do not cross the antimeridian); empty texts when none.
    QString west, east, south, north;
};

// True when the document's root (or an element just below it, as in a
// catalogue's answer) is ISO metadata; `texts` then holds what it says.
bool readIsoMetadata(const tXMLDocument& document, IsoTexts& texts);
