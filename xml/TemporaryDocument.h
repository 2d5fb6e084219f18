#pragma once
// The temporary document of the "&Metadata" page: the stylesheet line
// <?xml-stylesheet type="text/xsl" href="~Last Used.xsl"?>, then `source`
// copied line by line, bytes unchanged, every line ended by CR LF (a last
// line without terminator included).
//
// A UTF-16 source (a byte-order mark FF FE or FE FF, or without one a
// document starting "<?" in UTF-16) is copied in 16-bit units: its mark stays
// first, the stylesheet line and every CR LF are written in its byte order,
// and only the units CR and LF end lines, so the byte pairs stay whole.
//
// Only a regular file is copied: a named pipe or a device is refused before
// the target is touched ("Cannot open <source>"). Throws EInOutError when a
// file cannot be opened, read or written (closing it included: "Cannot write
// <target>: the disk is full"); a partly written target may remain.
// Safe on any thread (touches nothing but the two files).
#include <string>

void writeTemporaryDocument(const std::string& source, const std::string& target);

// "Cannot write <target>: " and why, from the system's error number (see
// WriteErrorText).
std::string CannotWrite(const std::string& target, int error);
