#pragma once
// The error types of the program. Every error carries one message text; the
// command boundary of the main window shows it in the "Atlasdesk" error box.
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

// Base of every error the program raises itself.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file or stream could not be read or written.
class EInOutError : public Exception {
public:
    using Exception::Exception;
};

// An operation was asked of an object in a state that does not allow it.
class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

// Why a write failed, from the system's error number, in words for the
// user: "the disk is full" for a full disk or an exhausted quota, the
// system's own text otherwise.
inline std::string WriteErrorText(int error)
{
    return error == ENOSPC || error == EDQUOT ? std::string("the disk is full") : std::string(std::strerror(error));
}
