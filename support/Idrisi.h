#pragma once
// File conventions of the Idrisi GIS: the extensions of its images, vector
// files and their documentation files, its data directory, the suffixes that
// mark kinds of maps, and a file-dialog filter built from them. The values
// are module state for the whole run.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// Number of entries of the extension table.
inline constexpr std::size_t IdrisiExtensionCount = 19;

// Reads appDir + "idrisi.env" when it exists (naming scheme 0; only the data
// directory, entry 10, survives the scheme's fixed extensions), otherwise
// applies scheme 1. `appDir` ends with the separator. Throws EInOutError when
// the file cannot be opened or read; the map filter then stays as it was.
void LoadIdrisiEnvironment(const std::string& appDir);
// Stores the naming scheme, sets its fixed extensions (0 or 1; other values
// change none) and rebuilds the map filter on the image extension.
void SetIdrisiScheme(uint8_t scheme);

// The naming scheme: 1 at program start.
uint8_t IdrisiNamingScheme();
// The extension table, indices 0 to 18 (documentation, image, vector
// extensions, data directory at 10, map-kind suffixes from 11).
const std::array<std::string, IdrisiExtensionCount>& IdrisiExtensions();
// The map filter in file-dialog form ("description|pattern|..."); empty
// until a scheme is applied.
const std::string& IdrisiMapFilter();
// Puts the module state back to its program-start values.
void ResetIdrisiState();

// Constant name tables.
inline constexpr std::array<std::string_view, 5> IdrisiDataTypeNames{
    "unknown", "byte", "integer", "dummy", "real"};
inline constexpr std::array<std::string_view, 4> IdrisiFileTypeNames{
    "unknown", "ascii", "binary", "packed binary"};
inline constexpr std::array<std::string_view, 5> IdrisiVectorTypeNames{
    "unknown", "point", "line", "polygon", "text"};
inline constexpr std::array<std::string_view, 10> IdrisiMapKindNames{
    "Unknown", "All maps", "Quantitative", "Qualitative", "Boolean",
    "Frequency", "Count", "Statistical", "Category", "All files"};
