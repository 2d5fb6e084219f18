#pragma once
// Byte-based text helpers. Texts are 8-bit strings (UTF-8 on this platform,
// but nothing here assumes it): every comparison is by byte value.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The shared zero-based vector of texts (results of splitting and of
// multi-value XML reads).
using tVectorOfString = std::vector<std::string>;

// One element more than `text` has `sep` characters; empty elements are kept.
tVectorOfString SplitString(std::string_view text, char sep);
// Every non-overlapping occurrence of `search`, left to right; an empty
// `search` returns the text unchanged.
std::string ReplaceAll(std::string_view text, std::string_view search, std::string_view repl);
// The first occurrence only.
std::string ReplaceFirst(std::string_view text, std::string_view search, std::string_view repl);
// The text without its first n bytes (whole text for n <= 0, empty when n >= length).
std::string DropFirstChars(std::string_view text, int n);
// The text without its last byte; the empty text stays empty.
std::string DropLastChar(std::string_view text);
// Heap sort in place into ascending byte order; duplicates stay.
void SortStrings(tVectorOfString& vector);
// Bisection over an ascending vector; index of an equal element or -1.
int FindSorted(const tVectorOfString& vector, std::string_view key);
// Leading and trailing bytes <= ' ' (blanks and control characters) removed.
std::string Trim(std::string_view text);
// ASCII A-Z lowered, every other byte unchanged.
std::string LowerAscii(std::string_view text);
// True for well-formed UTF-8 (no overlong forms, surrogates, values past
// U+10FFFF or sequences cut short). The empty text is valid.
bool IsValidUtf8(std::string_view text);

// Base64 (RFC 2045 alphabet) decoded; every byte outside the alphabet is
// skipped, a final group of 2 or 3 characters gives 1 or 2 bytes, a single
// leftover character gives nothing. Never fails.
std::string DecodeBase64(std::string_view text);
// DecodeBase64 of `text` written to `fileName`, replacing it. Throws
// EInOutError naming the failure when the file cannot be created or written.
void WriteBase64File(std::string_view text, const std::string& fileName);

// `text` for HTML: "&", "<", ">", '"' and "'" as character references,
// every other byte as it is. Good in text and in quoted attribute values.
void AppendHtmlEscaped(std::string& out, std::string_view text);
std::string HtmlEscaped(std::string_view text);
