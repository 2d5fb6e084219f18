#include "HTMLlogOps.h"

#include "Errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::string escapeHtml(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '<': result += "&lt;"; break;
        case '>': result += "&gt;"; break;
        case '&': result += "&amp;"; break;
        default: result.push_back(c); break;
        }
    }
    return result;
}

// Appends one finished line of markup. The file is opened and closed for
// every line so no handle stays open between the lines of a long command;
// without O_CREAT a missing log is an error instead of a new stray file.
void appendMarkupLine(const tHTMLLog& log, const std::string& markup)
{
    const int fd = ::open(log.LogFile.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        throw EInOutError("Couldn't open log file '" + log.LogFile + "': " + std::strerror(errno));
    const std::string line = markup + "\r\n";
    std::size_t written = 0;
    int writeError = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(fd, line.data() + written, line.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            writeError = errno;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && writeError == 0)
        writeError = errno;
    if (writeError != 0)
        throw EInOutError("Couldn't write log file '" + log.LogFile + "': "
                          + std::strerror(writeError));
    if (log.AutoShow && log.Browser)
        ShowLog(log);
}

} // namespace

void ShowLog(const tHTMLLog& log)
{
    if (log.Browser)
        log.Browser(log.LogFile);
}

void AddLine(const tHTMLLog& log, const std::string& text)
{
    appendMarkupLine(log, escapeHtml(text));
}

void AddLineBR(const tHTMLLog& log, const std::string& text)
{
    appendMarkupLine(log, escapeHtml(text) + "<BR>");
}
