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
#include <string>

struct RenderResult {
    // UTF-8 HTML, never empty: the rendered page, or a page that explains
    // what went wrong and quotes the processor's messages.
    std::string html;
    // False when the document or the stylesheet could not be used.
    bool ok = false;
    // The explanation shown on the error page; empty when ok.
    std::string error;
};

// Renders the file `path` (see above). An xml-stylesheet instruction anywhere
// in the prolog counts, also one that stands before the document's own XML
// declaration (the declaration is then moved, its encoding still honoured).
// Its href is resolved against the document's folder.
RenderResult TransformFile(const std::string& path);

// Renders the XML document `xmlPath` through the stylesheet `xslPath`,
// ignoring any xml-stylesheet instruction of the document. The document the
// stylesheet sees gets a Binary/Thumbnail/img element whose src is a data:
// URI of the picture in Binary/Thumbnail/Data, when it has that picture and
// no such element. (While the stylesheet runs, the Base64 part of that URI is
// a short stand-in; the page holds the whole picture wherever the stylesheet
// copied the src.) `xmlName`, when given, is the name the document goes by
// in messages and as its base URL instead of `xmlPath`.
RenderResult ApplyStylesheet(const std::string& xmlPath, const std::string& xslPath, const std::string& xmlName = {});

// The readable tree view of the XML document `xmlPath`: indented, coloured,
// collapsible elements, every text HTML-escaped, long Base64 text wrapped.
RenderResult RenderRawXml(const std::string& xmlPath);

// The short page of a data set or directory without metadata: names the
// item (`dataPath`) and the metadata file that does not exist. ok is false.
RenderResult NoMetadataPage(const std::string& dataPath, const std::string& metadataPath);

// An error page of the views: a heading, one or two sentences and the
// document concerned ("" for none). ok is false.
RenderResult ErrorPage(const std::string& title, const std::string& explanation, const std::string& document);

// Parsed stylesheets are kept, keyed by path and file identity (device, inode,
// size, modification and change times), so re-rendering with an unchanged
// stylesheet does not parse it again. This forgets them all.
void ClearStylesheetCache();
