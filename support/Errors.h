#pragma once
// The error types of the program. Every error carries one message text; the
// command boundary of the main window shows it in the "Atlasdesk" error box.
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
