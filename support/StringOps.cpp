#include "support/StringOps.h"

#include "support/Errors.h"
#include "support/FileOps.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

tVectorOfString SplitString(std::string_view text, char sep)
{
    tVectorOfString result(1);
    for (char c : text) {
        if (c == sep)
            result.emplace_back();
        else
            result.back().push_back(c);
    }
    return result;
}

namespace {

std::string replaceOccurrences(std::string_view text, std::string_view search,
                               std::string_view repl, bool all)
{
    if (search.empty())
        return std::string(text);
    std::string result;
    result.reserve(text.size());
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(search, from);
        if (at == std::string_view::npos)
            break;
        result.append(text.substr(from, at - from));
        result.append(repl);
        // Continue behind the occurrence in the original text, so the
        // replacement itself is never searched again.
        from = at + search.size();
        if (!all)
            break;
    }
    result.append(text.substr(from));
    return result;
}

} // namespace

std::string ReplaceAll(std::string_view text, std::string_view search, std::string_view repl)
{
    return replaceOccurrences(text, search, repl, true);
}

std::string ReplaceFirst(std::string_view text, std::string_view search, std::string_view repl)
{
    return replaceOccurrences(text, search, repl, false);
}

std::string DropFirstChars(std::string_view text, int n)
{
    if (n <= 0)
        return std::string(text);
    if (static_cast<std::size_t>(n) >= text.size())
        return {};
    return std::string(text.substr(static_cast<std::size_t>(n)));
}

std::string DropLastChar(std::string_view text)
{
    if (text.empty())
        return {};
    return std::string(text.substr(0, text.size() - 1));
}

namespace {

// std::string compares through char_traits<char>, which compares as
// unsigned char: that is exactly byte order, independent of the locale.
void siftDown(tVectorOfString& v, std::size_t root, std::size_t end)
{
    for (;;) {
        std::size_t child = 2 * root + 1;
        if (child >= end)
            return;
        if (child + 1 < end && v[child] < v[child + 1])
            ++child;
        if (!(v[root] < v[child]))
            return;
        std::swap(v[root], v[child]);
        root = child;
    }
}

} // namespace

void SortStrings(tVectorOfString& vector)
{
    const std::size_t n = vector.size();
    if (n < 2)
        return;
    for (std::size_t i = n / 2; i-- > 0;)
        siftDown(vector, i, n);
    for (std::size_t end = n - 1; end > 0; --end) {
        std::swap(vector[0], vector[end]);
        siftDown(vector, 0, end);
    }
}

int FindSorted(const tVectorOfString& vector, std::string_view key)
{
    // Signed bounds: high may step below 0 when the key sorts before element 0.
    long low = 0;
    long high = static_cast<long>(vector.size()) - 1;
    while (low <= high) {
        const long middle = (low + high) / 2;
        const int cmp = std::string_view(vector[static_cast<std::size_t>(middle)]).compare(key);
        if (cmp == 0)
            return static_cast<int>(middle);
        if (cmp > 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return -1;
}

std::string Trim(std::string_view text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return std::string(text.substr(first, last - first));
}

std::string LowerAscii(std::string_view text)
{
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

bool IsValidUtf8(std::string_view text)
{
    return QByteArrayView(text.data(), static_cast<qsizetype>(text.size())).isValidUtf8();
}

std::string DecodeBase64(std::string_view text)
{
    // Qt's decoder in its forgiving mode skips every character outside the
    // alphabet and makes what bytes the characters it has carry.
    return QByteArray::fromBase64(QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())))
        .toStdString();
}

void WriteBase64File(std::string_view text, const std::string& fileName)
{
    const std::string data = DecodeBase64(text);
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throw EInOutError("Couldn't create file '" + fileName + "': " + std::strerror(errno));
    if (const int error = WriteAll(fd, data)) {
        ::close(fd);
        throw EInOutError("Couldn't write file '" + fileName + "': " + std::strerror(error));
    }
    // A failing close can be the first report of a write that did not reach
    // the disk (network drives), so it counts as a write error.
    if (::close(fd) != 0)
        throw EInOutError("Couldn't write file '" + fileName + "': " + std::strerror(errno));
}

void AppendHtmlEscaped(std::string& out, std::string_view text)
{
    for (const char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += ch;
        }
    }
}

std::string HtmlEscaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    AppendHtmlEscaped(out, text);
    return out;
}
