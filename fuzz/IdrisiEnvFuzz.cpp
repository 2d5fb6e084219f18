// The idrisi.env reader on arbitrary file contents: it must read any file,
// keep the extension table whole and leave a usable map filter.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/Errors.h"
#include "FuzzSupport.h"
#include "support/Idrisi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string& dir = fuzzsupport::scratchDir();
    fuzzsupport::writeFile(dir + "idrisi.env", std::string_view(reinterpret_cast<const char*>(data), size));
    ResetIdrisiState();
    try {
        LoadIdrisiEnvironment(dir);
    } catch (const Exception& e) {
        fuzzsupport::broken("a readable idrisi.env was refused", e.what());
    }
    fuzzsupport::check(IdrisiNamingScheme() == 0, "an idrisi.env file sets naming scheme 0");
    const auto& extensions = IdrisiExtensions();
    fuzzsupport::check(extensions[1] == extensions[0] && extensions[3] == extensions[2],
                       "documentation and image extensions are kept in pairs");
    const std::string& filter = IdrisiMapFilter();
    fuzzsupport::check(filter.rfind("All maps (*" + extensions[2] + ")|", 0) == 0, "the map filter starts with all maps",
                       filter);
    const std::string allFiles = "|All files (*.*)|*.*";
    fuzzsupport::check(filter.size() >= allFiles.size() &&
                           filter.compare(filter.size() - allFiles.size(), allFiles.size(), allFiles) == 0,
                       "the map filter ends with all files", filter);
    return 0;
}
