#pragma once
// The readable tree view of an XML document: indented, coloured,
// collapsible elements, every text HTML-escaped, long Base64 text wrapped.
#include <libxml/tree.h>

#include <string>

#include "xml/Pages.h"

struct PreparedXml;

// The view of the XML document `xmlPath`.
RenderResult RenderRawXml(const std::string& xmlPath);

// The view of `doc`, parsed from `prepared`, read from `path`.
RenderResult rawXmlPage(xmlDoc* doc, const PreparedXml& prepared, const std::string& path);
