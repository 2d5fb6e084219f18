#pragma once
// The running HTML report of the long batch commands: each line is appended
// to the log file, and a pane showing the file can be refreshed after every
// line.
#include <functional>
#include <string>

struct tHTMLLog {
    // Path of the HTML log file; it must exist before lines are added.
    std::string LogFile;
    // Shows the file whose path it is given (the pane that displays the log);
    // empty when there is none.
    std::function<void(const std::string&)> Browser;
    // When true, every written line refreshes Browser.
    bool AutoShow = false;
};

// The head a new log file starts with: it declares the log's character set,
// UTF-8, so that the pane shows names with accents as they are.
inline constexpr const char* LogFileHead = "<!DOCTYPE html>\r\n<meta charset=\"utf-8\">\r\n";
// Makes `path` ready to be a log: a missing or empty file is written with
// LogFileHead; a file that already holds lines is left as it is. Throws
// EInOutError naming the file when it cannot be created or written.
// Window thread (or whichever thread owns the log).
void createLogFile(const std::string& path);

// The log file of today in `folder` (with its trailing separator), the one
// every catalogue command of the day appends to: "Atlasdesk-yyyyMMdd.html".
std::string DailyLogFile(const std::string& folder);

// Sends Browser to LogFile (which reloads it); nothing without a Browser.
void ShowLog(const tHTMLLog& log);
// Appends `text` and CR LF to LogFile, then shows the log when AutoShow is
// set and there is a Browser. "<", ">", "&" and quotes in `text` are written
// as character references (HtmlEscaped), so file names holding them show as
// they are instead of becoming markup. The log is UTF-8 throughout: a text
// that is not UTF-8 holds file names, and is decoded as they are
// (DecodeFileNameUtf8: per '/'-separated part, windows-1252 where a part is
// not UTF-8). Throws EInOutError naming the file
// when LogFile is missing (it is never created) or cannot be written.
void AddLine(const tHTMLLog& log, const std::string& text);
// AddLine of `text` followed by the line break "<BR>"; the text is escaped
// as by AddLine, the "<BR>" stays markup.
void AddLineBR(const tHTMLLog& log, const std::string& text);
