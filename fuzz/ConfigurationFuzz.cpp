// The configuration loader on arbitrary files: LoadConfiguration, the
// category look-up, the server list and themes, and appending a server.
// A file that loads must keep its promises: every table filled from it, an
// appended server listed afterwards.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/AtlasdeskOps.h"
#include "support/Errors.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The configuration in the current directory comes first: work in a
    // folder that has none, and read the program folder's.
    const std::string& dir = fuzzsupport::scratchDir();
    const std::string work = dir + "work";
    const std::string program = dir + "program/";
    if (::mkdir(work.c_str(), 0700) != 0 || ::mkdir(program.c_str(), 0700) != 0 || ::chdir(work.c_str()) != 0)
        fuzzsupport::broken("cannot prepare the scratch folders");
    SetProgramFolder(program);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string file = ProgramFolder() + ConfigFileName;
    fuzzsupport::check(ConfigFilePath() == file, "the program folder's configuration is the one read");
    fuzzsupport::writeFile(file, std::string_view(reinterpret_cast<const char*>(data), size));

    try {
        LoadConfiguration();
    } catch (const Exception&) {
        fuzzsupport::check(AllExtensions.empty() && RasterExtensions.empty(),
                           "a refused configuration leaves the tables empty");
        return 0;
    }
    for (int i = 0; i < FieldCount; ++i)
        fuzzsupport::check(!FieldMap[i].Name.empty(), "every field of the map has its name");
    for (const char* ext : {".shp", ".tif", "", ".", "shp", ".SHP"})
        fuzzsupport::check(CategoryOfExtension(ext) < CategoryNames.size(), "a category number is in range");
    fuzzsupport::check(AppDir == ProgramFolder(), "the program folder is the configuration's AppDir");

    try {
        (void)ReadThemes();
        const tVectorOfString before = ReadServerList();
        const std::string folder = "/srv/fuzz " + std::to_string(before.size()) + "/";
        AppendServer(folder);
        const tVectorOfString after = ReadServerList();
        fuzzsupport::check(std::find(after.begin(), after.end(), folder) != after.end(),
                           "an appended server is in the server list");
        fuzzsupport::check(std::is_sorted(after.begin(), after.end()), "the server list is sorted");
    } catch (const Exception&) {
        // A file without the atlasdesk/directories/servers structure refuses
        // the append; that is reported, not a failure.
    }
    ClearConfiguration();
    return 0;
}
