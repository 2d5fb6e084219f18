#pragma once
// The catalogue password of atlasdesk-sync. Never from the command line:
//  1. the file named by --password-file, which must be a regular file that
//     only its owner may read or write (mode 0600 or 0400);
//  2. the environment variable ATLASDESK_CHARTROOM_PASSWORD;
//  3. a prompt without echo, only when the standard input is a terminal.
// Otherwise none.
#include <optional>
#include <string>

// The first line of `path` (without its line end). Throws ESyncSetup
// naming the file when it cannot be read or others may read it.
std::string ReadPasswordFile(const std::string& path);

// The password by the rule above; none when there is none to be had.
// Throws ESyncSetup (the file) or when the prompt is cancelled.
std::optional<std::string> SyncPassword(const std::optional<std::string>& passwordFile, const std::string& account);
