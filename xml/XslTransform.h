#pragma once
// Turns a local file into the HTML that a browser pane shows: an XML document
// through the XSL stylesheet its xml-stylesheet instruction names, an XML
// document without one as a readable tree of its markup, an HTML file as it is.
//
// Documents are read in the encoding their bytes really have (files that
// declare ISO-8859-1 but hold UTF-8 or windows-1252 bytes are common); the
// file itself is never changed. Parsing never loads a DTD, never substitutes
// external entities and never touches the network; stylesheets may read local
// files (xsl:include, document()) but not write files, create directories or
// read from the network.
#include <functional>
#include <string>

#include "xml/Pages.h"

// Renders the file `path` (see above). An xml-stylesheet instruction anywhere
// in the prolog counts, also one that stands before the document's own XML
// declaration (the declaration is then moved, its encoding still honoured).
// Its href is resolved against the document's folder. `onRead`, when set,
// is called once the file's bytes are in, before they are parsed.
RenderResult TransformFile(const std::string& path, const std::function<void()>& onRead = {});

// Renders the XML document `xmlPath` through the stylesheet `xslPath`,
// ignoring any xml-stylesheet instruction of the document. The document the
// stylesheet sees gets a Binary/Thumbnail/img element whose src is a data:
// URI of the picture in Binary/Thumbnail/Data, when it has that picture and
// no such element (see ThumbnailImage.h). `xmlName`, when given, is the name
// the document goes by in messages and as its base URL instead of `xmlPath`.
RenderResult ApplyStylesheet(const std::string& xmlPath, const std::string& xslPath, const std::string& xmlName = {});
