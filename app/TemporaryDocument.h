#pragma once
// The temporary document of the "&Metadata" page: the stylesheet line
// <?xml-stylesheet type="text/xsl" href="~Last Used.xsl"?>, then `source`
// copied line by line, bytes unchanged, every line ended by CR LF (a last
// line without terminator included). Only a regular file is copied: a named
// pipe or a device is refused before the target is touched ("Cannot open
// <source>"). Throws EInOutError when a file cannot be opened, read or
// written; a partly written target may remain.
#include <string>

void writeTemporaryDocument(const std::string& source, const std::string& target);
