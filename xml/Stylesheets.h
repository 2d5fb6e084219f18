#pragma once
// Which stylesheet a document names, where it lies, and the parsed
// stylesheets kept for the next page. Stylesheets may read local files
// (xsl:include, document()) but not write files, create directories or
// read from the network.
#include <libxslt/security.h>
#include <libxslt/xsltInternals.h>

#include <memory>
#include <string>

#include "xml/LibxmlMessages.h"
#include "xml/Pages.h"

// The href of the first xml-stylesheet instruction before the root element
// that names an XSL stylesheet, or "" when there is none.
std::string stylesheetHref(xmlDoc* doc);

// The local path the href names, relative to `folder`; "" for remote ones.
std::string stylesheetPath(const std::string& href, const std::string& folder);

// Sets libxslt up once: the EXSLT functions, msxsl:node-set(), the loader of
// local documents and the security settings.
void initialiseXslt();
// The security settings of every transformation.
xsltSecurityPrefsPtr securityPrefs();

using StylesheetPtr = std::shared_ptr<xsltStylesheet>;
// The parsed stylesheet at `path`, from the cache when the file is
// unchanged; null with `problem` telling why when it cannot be used.
StylesheetPtr loadStylesheet(const std::string& path, LibxmlMessages& messages, Problem& problem);

// Parsed stylesheets are kept, keyed by path and file identity (device, inode,
// size, modification and change times), so re-rendering with an unchanged
// stylesheet does not parse it again. This forgets them all.
void ClearStylesheetCache();
