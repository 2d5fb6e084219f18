// The folder classification of catalogue paths, FirstFolderNumber and
// SqlEscape on arbitrary paths, server roots and theme lists. Every
// statement text that is built must stay one statement: its quoted values
// end where they should, whatever the folder names hold.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/CatalogueOps.h"
#include "FuzzSupport.h"
#include "support/StringOps.h"

namespace {

// Reads a single-quoted value as the server does (backslash escapes on)
// from `at`, which is just past the opening quote. Returns the position
// past the closing quote and the value's text, or npos when the quote is
// never closed.
std::size_t readQuoted(std::string_view text, std::size_t at, std::string& value)
{
    value.clear();
    while (at < text.size()) {
        const char ch = text[at++];
        if (ch == '\\') {
            if (at >= text.size())
                return std::string_view::npos;
            value += text[at++];  // \\ and \' are the only escapes SqlEscape writes
        } else if (ch == '\'') {
            if (at < text.size() && text[at] == '\'') {
                value += '\'';
                ++at;
            } else {
                return at;
            }
        } else {
            value += ch;
        }
    }
    return std::string_view::npos;
}

void checkEscape(const std::string& text)
{
    const std::string escaped = SqlEscape(text);
    const std::string quoted = "'" + escaped + "'";
    std::string value;
    fuzzsupport::check(readQuoted(quoted, 1, value) == quoted.size(), "an escaped text ends at its closing quote",
                       quoted);
    fuzzsupport::check(value == ReplaceAll(text, "\n\n", "<br>"),
                       "the server reads the text back, with line feed pairs as <br>", quoted);
}

void checkLocationsStatement(const std::string& statement, const FolderLists& lists)
{
    const std::string_view head = "INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('";
    fuzzsupport::check(statement.compare(0, head.size(), head) == 0, "the Locations statement's head", statement);
    std::string location, parents;
    std::size_t at = readQuoted(statement, head.size(), location);
    fuzzsupport::check(at != std::string_view::npos && statement.compare(at, 2, ",'") == 0,
                       "the location value ends before the second", statement);
    at = readQuoted(statement, at + 2, parents);
    fuzzsupport::check(at != std::string_view::npos && statement.substr(at) == ");",
                       "the statement ends after the second value", statement);
    fuzzsupport::check(parents == ReplaceAll(lists.ParentList, "\n\n", "<br>"), "BelongTo is the parent list",
                       statement);
    fuzzsupport::check(location != "all", "no Locations row for an all folder", statement);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string serverRoot = in.ConsumeRandomLengthString(64);
    const std::string below = in.ConsumeRandomLengthString(256);
    const bool asDirectory = in.ConsumeBool();
    tVectorOfString themes;
    const int themeCount = in.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < themeCount; ++i)
        themes.push_back(in.ConsumeRandomLengthString(16));
    SortStrings(themes);
    // Mostly paths below the root, as the tree gives them; sometimes not.
    std::string dir = in.ConsumeBool() ? serverRoot + "/" + below : below;
    if (asDirectory)
        dir += "/";

    const int number = FirstFolderNumber(dir, serverRoot);
    fuzzsupport::check(number == 999 || (number >= -9 && number <= 99), "a folder number has at most two digits",
                       dir);

    const FolderClassification classification = ClassifyFolderPath(dir, serverRoot, themes);
    const FolderLists& lists = classification.Lists;
    fuzzsupport::check(lists.LocationList.rfind("world", 0) == 0, "every location list starts with world",
                       lists.LocationList);
    fuzzsupport::check(lists.ParentList.rfind("\\10_world\\", 0) == 0, "every parent list starts with the world",
                       lists.ParentList);
    if (classification.LocationsStatement)
        checkLocationsStatement(*classification.LocationsStatement, lists);

    for (const std::string& text : {dir, serverRoot, below, lists.LocationList, lists.ThemeList, lists.SourceList})
        checkEscape(text);
    for (const std::string& source : classification.Sources)
        checkEscape(source);
    return 0;
}
