#include "TemporaryDocument.h"

#include <unistd.h>

#include <cstdio>

#include "Errors.h"
#include "FileOps.h"

namespace {

const char* const kStylesheetLine = "<?xml-stylesheet type=\"text/xsl\" href=\"~Last Used.xsl\"?>";

} // namespace

void writeTemporaryDocument(const std::string& source, const std::string& target)
{
    const int fd = OpenRegularFile(source);
    FILE* in = fd < 0 ? nullptr : ::fdopen(fd, "rb");
    if (!in) {
        if (fd >= 0)
            ::close(fd);
        throw EInOutError("Cannot open " + source);
    }
    FILE* out = std::fopen(target.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        throw EInOutError("Cannot create " + target);
    }
    bool failed = std::fputs(kStylesheetLine, out) < 0 || std::fputs("\r\n", out) < 0;
    std::string line;
    char buffer[65536];
    bool afterCR = false;
    size_t n;
    auto emit = [&] {
        line += "\r\n";
        failed = failed || std::fwrite(line.data(), 1, line.size(), out) != line.size();
        line.clear();
    };
    while (!failed && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        for (size_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            const bool wasAfterCR = afterCR;
            afterCR = false;
            if (c == '\n' && wasAfterCR)
                continue; // the LF of a CR LF pair
            if (c == '\r' || c == '\n') {
                emit(); // CR LF, a lone CR and a lone LF each end one line
                afterCR = c == '\r';
                continue;
            }
            line += c;
        }
    }
    const bool readError = std::ferror(in) != 0;
    if (!line.empty())
        emit(); // a last line without terminator is copied too
    std::fclose(in);
    std::fclose(out); // an error while closing is not reported
    if (readError)
        throw EInOutError("Cannot read " + source);
    if (failed)
        throw EInOutError("Cannot write " + target);
}

