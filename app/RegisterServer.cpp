// atlasdesk-register-server CONFIG PATH: appends a geodata server to a
// configuration file, as "&New server..." does. Used by the run script to
// offer the bundled demo server on first start.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

#include "model/AtlasdeskOps.h"
#include "support/PathOps.h"

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CONFIG-FILE SERVER-PATH\n", argv[0]);
        return 2;
    }
    const std::string config = argv[1];
    try {
        const std::string folder = ExtractFilePath(config);
        if (!folder.empty() && chdir(folder.c_str()) != 0)
            throw std::runtime_error("Cannot enter " + folder);
        for (const std::string& known : ReadServerList())
            if (known == argv[2])
                return 0;
        AppendServer(argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
