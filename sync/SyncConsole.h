#pragma once
// What atlasdesk-sync shows while it runs. On a terminal: one progress line
// that is rewritten in place (walking, then writing n of m with the rate and
// the time left). Otherwise (a timer's journal, a file): plain lines, one
// per stage and, on long runs, one every half minute. Messages for the
// operator and the progress go to the standard error; the changes (dry run
// and --verbose) to the standard output. Command's thread only.
#include <chrono>
#include <cstdio>
#include <string>

#include "sync/CatalogueSync.h"

class SyncConsole : public SyncProgress {
public:
    // `terminal`: the standard error is a terminal. `printChanges`: every
    // change goes to the standard output.
    SyncConsole(bool terminal, bool printChanges);
    ~SyncConsole() override;

    void stage(const std::string& text) override;
    void walking(long long datasets) override;
    void writing(long long done, long long total) override;
    void note(const std::string& text) override;
    void change(const std::string& text) override;

    // Ends the progress line (before the summary and the messages).
    void finish();

private:
    using Clock = std::chrono::steady_clock;
    void show(const std::string& text); // the progress line, or a plain line
    void plain(const std::string& text);

    bool m_terminal;
    bool m_printChanges;
    bool m_lineShown = false;       // a progress line waits to be cleared
    std::string m_stage;
    Clock::time_point m_stageStarted = Clock::now();
    Clock::time_point m_lastPlain = Clock::now();
};

// "12,345"
std::string GroupedCount(long long value);
