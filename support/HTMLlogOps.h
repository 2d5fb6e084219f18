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

// Sends Browser to LogFile (which reloads it); nothing without a Browser.
void ShowLog(const tHTMLLog& log);
// Appends `text` and CR LF to LogFile, then shows the log when AutoShow is
// set and there is a Browser. "<", ">" and "&" in `text` are written as the
// entities "&lt;", "&gt;" and "&amp;", so file names holding them show as
// they are instead of becoming markup. Throws EInOutError naming the file
// when LogFile is missing (it is never created) or cannot be written.
void AddLine(const tHTMLLog& log, const std::string& text);
// AddLine of `text` followed by the line break "<BR>"; the text is escaped
// as by AddLine, the "<BR>" stays markup.
void AddLineBR(const tHTMLLog& log, const std::string& text);
