#pragma once
// Path text helpers on byte strings with the native separator ('/' here).
// Directory paths that the program passes around end with the separator.
#include <string>
#include <string_view>

inline constexpr char PathDelim = '/';

// Folder part of `path` with its trailing separator ("" when there is none).
std::string ExtractFilePath(std::string_view path);
// Last component of `path` (after the last separator).
std::string ExtractFileName(std::string_view path);
// Extension of the last component from its last '.', dot included; "" without a dot.
std::string ExtractFileExt(std::string_view path);
// `path` with the extension of its last component replaced by `ext` (given with its dot).
std::string ChangeFileExt(std::string_view path, std::string_view ext);
// `path` followed by the separator unless it already ends with one.
std::string IncludeTrailingPathDelimiter(std::string_view path);
// `path` without one trailing separator (a lone "/" is kept).
std::string ExcludeTrailingPathDelimiter(std::string_view path);
// True when `path` names an existing entry that is not a directory.
bool FileExists(const std::string& path);
// Converts a native path to the catalogue's form, which always uses '\'.
std::string CatalogueSeparators(std::string_view path);

class QString;
// A file-system name or path as text for people: each '/'-separated
// component is read as UTF-8 when it is valid UTF-8 and as windows-1252
// otherwise (old Windows servers wrote names in that code page), so a UTF-8
// folder holding a Latin-1 file name shows both right. Only for display and
// for texts derived from names; paths handed to the file system keep their bytes.
QString DecodeFileName(std::string_view bytes);
// The same rule to UTF-8 bytes, for texts that are kept as std::string.
std::string DecodeFileNameUtf8(std::string_view bytes);
