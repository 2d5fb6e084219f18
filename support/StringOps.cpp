#include "support/StringOps.h"

#include "support/Errors.h"

#include <array>
#include <cerrno>
#include <cstdint>
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

std::size_t Utf8SequenceAt(std::string_view text, std::size_t i, char32_t& codePoint)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char next = byte(i + k);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
            return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    return length;
}

bool IsValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        // Metadata is mostly ASCII: skip it a word at a time.
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, text.data() + i, 8);
            if (word & 0x8080808080808080ull)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        char32_t codePoint;
        const std::size_t length = Utf8SequenceAt(text, i, codePoint);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

namespace {

constexpr std::array<int8_t, 256> makeBase64Table()
{
    std::array<int8_t, 256> table{};
    for (auto& entry : table)
        entry = -1;
    constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
    return table;
}

constexpr std::array<int8_t, 256> base64Table = makeBase64Table();

} // namespace

std::string DecodeBase64(std::string_view text)
{
    // Thumbnails run to hundreds of KB: the bytes are written into a buffer
    // sized once for the most the text can hold, then cut to length.
    std::string result(text.size() / 4 * 3 + 3, '\0');
    char* out = result.data();
    uint32_t bits = 0;
    int count = 0;
    auto take = [&](int8_t value) {
        if (value < 0)
            return; // outside the alphabet: line breaks, padding, damage
        bits = (bits << 6) | static_cast<uint32_t>(value);
        if (++count == 4) {
            out[0] = static_cast<char>((bits >> 16) & 0xFF);
            out[1] = static_cast<char>((bits >> 8) & 0xFF);
            out[2] = static_cast<char>(bits & 0xFF);
            out += 3;
            bits = 0;
            count = 0;
        }
    };
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = in + text.size();
    while (end - in >= 4) {
        // Four characters of the alphabet at a group boundary: the common
        // case, decoded without a test per character.
        if (count == 0) {
            const int8_t a = base64Table[in[0]], b = base64Table[in[1]], c = base64Table[in[2]],
                         d = base64Table[in[3]];
            if ((a | b | c | d) >= 0) {
                const uint32_t group = (static_cast<uint32_t>(a) << 18) | (static_cast<uint32_t>(b) << 12) |
                                       (static_cast<uint32_t>(c) << 6) | static_cast<uint32_t>(d);
                out[0] = static_cast<char>((group >> 16) & 0xFF);
                out[1] = static_cast<char>((group >> 8) & 0xFF);
                out[2] = static_cast<char>(group & 0xFF);
                out += 3;
                in += 4;
                continue;
            }
        }
        take(base64Table[*in++]);
    }
    while (in != end)
        take(base64Table[*in++]);
    // A trailing group of 3 characters carries 18 bits: two whole bytes;
    // a group of 2 carries 12 bits: one byte; a lone character, no byte.
    if (count == 3) {
        *out++ = static_cast<char>((bits >> 10) & 0xFF);
        *out++ = static_cast<char>((bits >> 2) & 0xFF);
    } else if (count == 2) {
        *out++ = static_cast<char>((bits >> 4) & 0xFF);
    }
    result.resize(static_cast<size_t>(out - result.data()));
    return result;
}

void WriteBase64File(std::string_view text, const std::string& fileName)
{
    const std::string data = DecodeBase64(text);
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throw EInOutError("Couldn't create file '" + fileName + "': " + std::strerror(errno));
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            throw EInOutError("Couldn't write file '" + fileName + "': " + std::strerror(err));
        }
        written += static_cast<std::size_t>(n);
    }
    // A failing close can be the first report of a write that did not reach
    // the disk (network drives), so it counts as a write error.
    if (::close(fd) != 0)
        throw EInOutError("Couldn't write file '" + fileName + "': " + std::strerror(errno));
}
