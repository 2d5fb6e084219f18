#include "support/HTMLlogOps.h"

#include "support/Errors.h"
#include "support/FileOps.h"
#include "support/PathOps.h"
#include "support/StringOps.h"

#include <QDate>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::string escapeHtml(const std::string& raw)
{
    // Report lines carry paths as the file system holds them; a Latin-1 name
    // in a UTF-8 file would show as a replacement character.
    return HtmlEscaped(DecodeFileNameUtf8(raw));
}

// Closes `fd`; the first of `error` and the close's own error.
int closeKeepingError(int fd, int error)
{
    if (::close(fd) != 0 && error == 0)
        return errno;
    return error;
}

// Appends one finished line of markup. The file is opened and closed for
// every line so no handle stays open between the lines of a long command;
// without O_CREAT a missing log is an error instead of a new stray file.
void appendMarkupLine(const tHTMLLog& log, const std::string& markup)
{
    const int fd = ::open(log.LogFile.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        throw EInOutError("Couldn't open log file '" + log.LogFile + "': " + std::strerror(errno));
    const int writeError = closeKeepingError(fd, WriteAll(fd, markup + "\r\n"));
    if (writeError != 0)
        throw EInOutError("Couldn't write log file '" + log.LogFile + "': "
                          + std::strerror(writeError));
    if (log.AutoShow && log.Browser)
        ShowLog(log);
}

} // namespace

void createLogFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        throw EInOutError("Cannot create the log file '" + path + "': " + std::strerror(errno));
    // Only an empty file gets the head: one with lines (of an earlier
    // command today) has it already, and appending keeps them.
    int error = 0;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size < 0)
        error = errno;
    else if (size == 0)
        error = WriteAll(fd, LogFileHead);
    error = closeKeepingError(fd, error);
    if (error != 0)
        throw EInOutError("Couldn't write log file '" + path + "': " + std::strerror(error));
}

std::string DailyLogFile(const std::string& folder)
{
    return folder + "Atlasdesk-" + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toStdString() + ".html";
}

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
