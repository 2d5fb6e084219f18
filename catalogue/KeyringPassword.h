#pragma once
// Passwords kept in the desktop's keyring (the Secret Service of GNOME
// Keyring or KWallet) through QtKeychain, never in a file: QtKeychain's
// plain-text fallback stays off, so without a keyring nothing is kept.
//
// The keyring is asked by QtKeychain's own jobs, which answer through the
// event loop: each call returns at once and its answer comes later, as a
// call of `done` on the calling thread (which runs an event loop, the
// window's), unless `context` is gone by then.
#include <QString>

#include <functional>
#include <string>

class QObject;

namespace keyring {

// What a read found.
struct ReadResult {
    enum Kind {
        Found,     // `password`
        NotFound,  // the keyring has none under that name
        NoKeyring, // no keyring can be reached (`error` says why): nothing can be kept
        Failed,    // the keyring refused or failed (`error`)
    } kind = Failed;
    QString password;
    QString error;
};

// The name under which the password of `user` on the catalogue `database`
// at `host`:`port` is kept.
QString accountKey(const std::string& host, int port, const std::string& database, const std::string& user);

void read(const QString& key, QObject* context, std::function<void(const ReadResult&)> done);
// `done` gets "" once the password is kept, else why not.
void write(const QString& key, const QString& password, QObject* context, std::function<void(const QString& error)> done);
// Forgets the password of `key` (one the server refused); `done` as write's.
void forget(const QString& key, QObject* context, std::function<void(const QString& error)> done);

} // namespace keyring
