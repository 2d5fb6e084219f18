#pragma once
// Helpers of the view tests: sample and stylesheet paths, the scratch
// document of the Metadata page, and small text checks.
#include <sys/socket.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "support/StringOps.h"
#include "TestUtil.h"

namespace viewstest {

inline std::string samplePath(const std::string& name)
{
    return std::string(ATLASDESK_SAMPLES_DIR) + "/" + name;
}

inline std::string stylesheetPath(const std::string& name)
{
    return std::string(ATLASDESK_SOURCE_DIR) + "/data/" + name;
}

// The scratch document as the Metadata page writes it: the stylesheet
// instruction, CR LF, then every line of the metadata file (CR LF, LF or CR
// ended, or unterminated at the end) followed by CR LF.
inline std::string scratchDocument(const std::string& metadata, const std::string& href = "~Last Used.xsl")
{
    std::string out = "<?xml-stylesheet type=\"text/xsl\" href=\"" + href + "\"?>\r\n";
    std::size_t pos = 0;
    while (pos < metadata.size()) {
        std::size_t end = metadata.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = metadata.size();
        out.append(metadata, pos, end - pos);
        out += "\r\n";
        pos = end;
        if (pos < metadata.size()) {
            const bool cr = metadata[pos] == '\r';
            ++pos;
            if (cr && pos < metadata.size() && metadata[pos] == '\n')
                ++pos;
        }
    }
    return out;
}

inline bool contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

inline std::size_t countOf(std::string_view text, std::string_view part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

// The value of the first src="data:..." attribute (either quote, any case of
// SRC), or "".
inline std::string firstDataSrc(const std::string& html)
{
    const std::string lower = LowerAscii(html);
    std::size_t at = lower.find("src=\"data:");
    if (at == std::string::npos)
        return {};
    at += 5;
    const std::size_t end = html.find('"', at);
    return end == std::string::npos ? std::string() : html.substr(at, end - at);
}

// A TCP listener on 127.0.0.1 that counts the connections made to it; used to
// prove that nothing reaches for the network.
class LoopbackListener {
public:
    LoopbackListener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::listen(m_fd, 8) != 0)
            return;
        socklen_t length = sizeof address;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~LoopbackListener()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int port() const { return m_port; }
    std::string url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + "/" + path;
    }
    // Connections accepted so far (waiting ones are taken in first).
    int connections()
    {
        for (;;) {
            const int client = ::accept(m_fd, nullptr, nullptr);
            if (client < 0)
                break;
            ::close(client);
            ++m_connections;
        }
        return m_connections;
    }

private:
    int m_fd = -1;
    int m_port = 0;
    int m_connections = 0;
};

} // namespace viewstest
