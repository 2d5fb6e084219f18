#pragma once
// Saving a file whole or not at all.
#include <string>
#include <string_view>

// Replaces the file `fileName` (through a symbolic link: the file it points
// at) by `bytes`, or makes it. The new content is written beside it and
// takes its place only once it is complete on disk (QSaveFile), so a
// failure at any point leaves the old file as it was; the old file's mode
// and, where permitted, its owner are kept. A folder that forbids new
// entries may still hold a file the user may write: that file is then
// rewritten in place, the room for the new content reserved first, so that
// a full disk or a size limit stops the save before the old content is
// touched. Names that are not UTF-8 are saved by their bytes. Throws
// EInOutError "Cannot save <fileName>: <reason>".
void SaveFileWhole(const std::string& fileName, std::string_view bytes);
