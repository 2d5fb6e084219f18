#include "support/Idrisi.h"

#include "support/Errors.h"
#include "support/PathOps.h"
#include "support/StringOps.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

using ExtensionTable = std::array<std::string, IdrisiExtensionCount>;

ExtensionTable initialExtensions()
{
    return {".doc", ".doc", ".img", ".img", ".vct", ".vdc", ".vct", ".vdc", ".smp", ".xpo",
            "./",   "_FQ",  "_BL",  "_NB",  "_QT",  "_NB",  "_ST",  "_CL",  "_CL"};
}

struct IdrisiState {
    uint8_t scheme = 1;
    ExtensionTable extensions = initialExtensions();
    std::string mapFilter;
};

IdrisiState& state()
{
    static IdrisiState s;
    return s;
}

// Expands "%<i>:s" with the i-th argument; the pieces of the filter are kept
// in this form so they read like the dialog texts they produce.
std::string formatPiece(std::string_view format, std::initializer_list<std::string_view> args)
{
    const auto* argv = args.begin();
    std::string result;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 3 < format.size() && format[i + 2] == ':'
            && format[i + 3] == 's') {
            const std::size_t index = static_cast<std::size_t>(format[i + 1] - '0');
            if (index < args.size()) {
                result.append(argv[index]);
                i += 3;
                continue;
            }
        }
        result.push_back(format[i]);
    }
    return result;
}

// Closes the file on every way out; errors of the close are of no interest
// after a read.
class FileCloser {
public:
    explicit FileCloser(std::FILE* file) : m_file(file) {}
    ~FileCloser() { std::fclose(m_file); }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    std::FILE* m_file;
};

// The environment file's key column is 40 characters wide; the value is
// the rest of the line.
std::string valueColumn(const std::string& line)
{
    return line.size() > 40 ? line.substr(40) : std::string();
}

} // namespace

void SetIdrisiScheme(uint8_t scheme)
{
    IdrisiState& s = state();
    s.scheme = scheme;
    auto& e = s.extensions;
    if (scheme == 0) {
        e[0] = ".doc";
        e[2] = ".img";
        e[4] = ".vec";
        e[5] = ".dvc";
        e[8] = ".smp";
    } else if (scheme == 1) {
        e[0] = ".rdc";
        e[2] = ".rst";
        e[4] = ".vct";
        e[5] = ".vdc";
        e[8] = ".smp";
    }
    e[3] = e[2];
    e[1] = e[0];

    const std::string& ext = e[2];
    std::string filter = "All maps (*" + ext + ")|*" + ext;
    filter += formatPiece("|Quantitative maps (*%1:s)|*%1:s%0:s", {ext, e[14]});
    filter += formatPiece(
        "|Qualitative maps (*%1:s, *%2:s, *%3:s)|*%1:s%0:s;*%2:s%0:s;*%3:s%0:s",
        {ext, e[12], e[17], e[18]});
    filter += formatPiece("|Boolean maps (*%1:s)|*%1:s%0:s", {ext, e[12]});
    filter += formatPiece("|Freqency/Probability maps (%1:s)|*%1:s%0:s", {ext, e[11]});
    filter += formatPiece("|Count maps (*%1:s)|*%1:s%0:s", {ext, e[13]});
    filter += formatPiece("|Statistical maps (*%1:s)|*%1:s%0:s", {ext, e[16]});
    filter += formatPiece("|Category maps (*%1:s)|*%1:s%0:s", {ext, e[17]});
    filter += "|All files (*.*)|*.*";
    s.mapFilter = std::move(filter);
}

void LoadIdrisiEnvironment(const std::string& appDir)
{
    const std::string fileName = appDir + "idrisi.env";
    if (!FileExists(fileName)) {
        SetIdrisiScheme(1);
        return;
    }

    IdrisiState& s = state();
    s.scheme = 0;
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (!file)
        throw EInOutError("Couldn't open file '" + fileName + "': " + std::strerror(errno));

    // Values are collected apart and stored only after the whole file was
    // read, so a read error leaves the table as it was.
    std::string drive, path;
    ExtensionTable e = s.extensions;
    {
        FileCloser closer(file);
        char* buffer = nullptr;
        std::size_t capacity = 0;
        for (;;) {
            errno = 0;
            const ssize_t length = ::getline(&buffer, &capacity, file);
            if (length < 0)
                break;
            std::string line(buffer, static_cast<std::size_t>(length));
            // Text lines end with LF or CR LF; neither belongs to the value.
            if (!line.empty() && line.back() == '\n')
                line.pop_back();
            if (!line.empty() && line.back() == '\r')
                line.pop_back();

            struct Key {
                const char* text;
                std::string* target;
            };
            const Key keys[] = {
                {"default data drive", &drive},
                {"default data path", &path},
                {"image file extension", &e[2]},
                {"image documentation file ext.", &e[0]},
                {"vector file extension", &e[4]},
                {"vector documentation file ext.", &e[5]},
            };
            for (const Key& key : keys) {
                if (line.find(key.text) != std::string::npos)
                    *key.target = valueColumn(line);
            }
        }
        const int readError = std::ferror(file) ? (errno ? errno : EIO) : 0;
        std::free(buffer);
        if (readError != 0)
            throw EInOutError("Couldn't read file '" + fileName + "': " + std::strerror(readError));
    }

    e[10] = Trim(drive) + Trim(path);
    e[2] = Trim(e[2]);
    e[3] = e[2];
    e[0] = Trim(e[0]);
    e[1] = e[0];
    s.extensions = std::move(e);

    SetIdrisiScheme(0);
}

uint8_t IdrisiNamingScheme()
{
    return state().scheme;
}

const std::array<std::string, IdrisiExtensionCount>& IdrisiExtensions()
{
    return state().extensions;
}

const std::string& IdrisiMapFilter()
{
    return state().mapFilter;
}

void ResetIdrisiState()
{
    state() = IdrisiState{};
}
