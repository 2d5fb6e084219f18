#include "sync/SyncLogin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "sync/CatalogueSync.h"

namespace {

std::string octal(mode_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// A line typed on the terminal of the standard input, without echo.
std::optional<std::string> prompt(const std::string& account)
{
    std::fprintf(stderr, "Password of %s: ", account.c_str());
    std::fflush(stderr);
    termios old {};
    const bool quiet = ::tcgetattr(STDIN_FILENO, &old) == 0;
    if (quiet) {
        termios silent = old;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    if (quiet)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    std::fputs("\n", stderr);
    if (!got)
        return std::nullopt;
    return line;
}

} // namespace

std::string ReadPasswordFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        throw ESyncSetup("The password file " + path + " cannot be opened: " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw ESyncSetup("The password file " + path + " is not a regular file");
    }
    if (st.st_mode & (S_IRWXG | S_IRWXO)) {
        ::close(fd);
        throw ESyncSetup("The password file " + path + " may be read or changed by other users (mode " +
                         octal(st.st_mode) + "): make it its owner's only, with chmod 600 " + path);
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            throw ESyncSetup("The password file " + path + " cannot be read: " + std::strerror(error));
        }
        if (n == 0 || text.size() > 65536)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    const size_t end = text.find_first_of("\r\n");
    return end == std::string::npos ? text : text.substr(0, end);
}

std::optional<std::string> SyncPassword(const std::optional<std::string>& passwordFile, const std::string& account)
{
    if (passwordFile)
        return ReadPasswordFile(*passwordFile);
    if (qEnvironmentVariableIsSet("ATLASDESK_CHARTROOM_PASSWORD"))
        return qEnvironmentVariable("ATLASDESK_CHARTROOM_PASSWORD").toStdString();
    if (!::isatty(STDIN_FILENO))
        return std::nullopt;
    std::optional<std::string> typed = prompt(account);
    if (!typed)
        throw ESyncSetup("No password was typed");
    return typed;
}
