// DecodeBase64 on arbitrary text, and on the encoding of arbitrary bytes
// with line breaks and stray characters mixed in as metadata files have
// them: the decoder must give the bytes back exactly.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "support/StringOps.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Standard Base64 with padding; a line feed after every `lineLength`
// characters (none when 0).
std::string encode(std::string_view bytes, std::size_t lineLength)
{
    std::string out;
    std::size_t column = 0;
    const auto put = [&](char ch) {
        out += ch;
        if (lineLength != 0 && ++column == lineLength) {
            out += "\r\n";
            column = 0;
        }
    };
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                           static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6)
            put(kAlphabet[(v >> shift) & 0x3F]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (rest == 2)
            v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        put(kAlphabet[(v >> 18) & 0x3F]);
        put(kAlphabet[(v >> 12) & 0x3F]);
        put(rest == 2 ? kAlphabet[(v >> 6) & 0x3F] : '=');
        put('=');
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // As text: never fails, and never more bytes than the alphabet allows.
    const std::string decoded = DecodeBase64(input);
    fuzzsupport::check(decoded.size() <= size * 3 / 4 + 2, "DecodeBase64 made bytes out of nothing");

    // As bytes: the round trip gives them back, whatever the line length.
    const std::size_t lineLength = size == 0 ? 0 : static_cast<unsigned char>(input[0]) % 80;
    const std::string encoded = encode(input, lineLength);
    fuzzsupport::check(DecodeBase64(encoded) == input, "encode then DecodeBase64 lost bytes", encoded);
    // Without padding (as some writers leave it off) the bytes are the same.
    std::string unpadded = encoded;
    while (!unpadded.empty() && (unpadded.back() == '=' || unpadded.back() == '\n' || unpadded.back() == '\r'))
        unpadded.pop_back();
    fuzzsupport::check(DecodeBase64(unpadded) == input, "DecodeBase64 needs the padding", unpadded);
    return 0;
}
