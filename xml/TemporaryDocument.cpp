#include "xml/TemporaryDocument.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "support/Errors.h"
#include "support/FileOps.h"

namespace {

const char* const kStylesheetLine = "<?xml-stylesheet type=\"text/xsl\" href=\"~Last Used.xsl\"?>";

enum class Units { Bytes, Utf16LE, Utf16BE };

// How the source counts its characters, told by its first four bytes.
Units unitsOf(std::string_view start)
{
    if (start.substr(0, 2) == std::string_view("\xFF\xFE", 2) || start.substr(0, 4) == std::string_view("<\0?\0", 4))
        return Units::Utf16LE;
    if (start.substr(0, 2) == std::string_view("\xFE\xFF", 2) || start.substr(0, 4) == std::string_view("\0<\0?", 4))
        return Units::Utf16BE;
    return Units::Bytes;
}

// `ascii` in the source's units.
std::string encoded(std::string_view ascii, Units units)
{
    if (units == Units::Bytes)
        return std::string(ascii);
    std::string out;
    out.reserve(ascii.size() * 2);
    for (const char ch : ascii) {
        if (units == Units::Utf16LE) {
            out += ch;
            out += '\0';
        } else {
            out += '\0';
            out += ch;
        }
    }
    return out;
}

} // namespace

std::string CannotWrite(const std::string& target, int error)
{
    return "Cannot write " + target + ": " + WriteErrorText(error);
}

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
        const int error = errno;
        std::fclose(in);
        throw EInOutError(CannotWrite(target, error));
    }

    char buffer[65536];
    std::size_t n = std::fread(buffer, 1, sizeof buffer, in);
    const Units units = unitsOf(std::string_view(buffer, n));
    const std::size_t unit = units == Units::Bytes ? 1 : 2;
    bool failed = false;
    int writeError = 0; // why the first write failed
    std::size_t from = 0;
    if (units != Units::Bytes && n >= 2 && (buffer[0] == '\xFF' || buffer[0] == '\xFE')) {
        // The byte-order mark stays in front of everything.
        failed = std::fwrite(buffer, 1, 2, out) != 2;
        writeError = failed ? errno : 0;
        from = 2;
    }
    const std::string crlf = encoded("\r\n", units);
    const std::string head = encoded(kStylesheetLine, units) + crlf;
    if (!failed && std::fwrite(head.data(), 1, head.size(), out) != head.size()) {
        failed = true;
        writeError = errno;
    }

    std::string line;
    std::string pending; // an odd byte left over from the previous read
    bool afterCR = false;
    auto emit = [&] {
        line += crlf;
        if (!failed && std::fwrite(line.data(), 1, line.size(), out) != line.size()) {
            failed = true;
            writeError = errno;
        }
        line.clear();
    };
    // The code of one unit when it is CR or LF, else 0.
    auto breakOf = [units](const char* at) -> char {
        if (units == Units::Bytes)
            return *at == '\r' || *at == '\n' ? *at : 0;
        const char high = units == Units::Utf16LE ? at[1] : at[0];
        const char low = units == Units::Utf16LE ? at[0] : at[1];
        return high == 0 && (low == '\r' || low == '\n') ? low : 0;
    };
    while (!failed && n > 0) {
        std::string_view chunk(buffer + from, n - from);
        std::string joined;
        if (!pending.empty()) {
            joined = pending;
            joined.append(chunk);
            chunk = joined;
            pending.clear();
        }
        std::size_t i = 0;
        for (; i + unit <= chunk.size(); i += unit) {
            const char code = breakOf(chunk.data() + i);
            const bool wasAfterCR = afterCR;
            afterCR = false;
            if (code == '\n' && wasAfterCR)
                continue; // the LF of a CR LF pair
            if (code) {
                emit(); // CR LF, a lone CR and a lone LF each end one line
                afterCR = code == '\r';
                continue;
            }
            line.append(chunk.data() + i, unit);
        }
        pending.assign(chunk.substr(i));
        from = 0;
        n = std::fread(buffer, 1, sizeof buffer, in);
    }
    const bool readError = std::ferror(in) != 0;
    line += pending; // a UTF-16 file cut after an odd byte keeps that byte
    if (!line.empty())
        emit(); // a last line without terminator is copied too
    std::fclose(in);
    // What is still buffered is written here: on a full disk this is where
    // most documents fail, and a failure here is one like any other.
    if (std::fclose(out) != 0 && !failed) {
        failed = true;
        writeError = errno;
    }
    if (readError)
        throw EInOutError("Cannot read " + source);
    if (failed)
        throw EInOutError(CannotWrite(target, writeError));
}
