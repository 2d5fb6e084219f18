#include "sync/SyncConsole.h"

namespace {

// A plain progress line at most this often on long stages.
constexpr auto kPlainInterval = std::chrono::seconds(30);

std::string duration(double seconds)
{
    const long long s = static_cast<long long>(seconds + 0.5);
    if (s < 60)
        return std::to_string(s) + " s";
    if (s < 3600)
        return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
    return std::to_string(s / 3600) + " h " + std::to_string(s % 3600 / 60) + " min";
}

} // namespace

std::string GroupedCount(long long value)
{
    std::string digits = std::to_string(value < 0 ? -value : value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<size_t>(at), ",");
    return (value < 0 ? "-" : "") + digits;
}

SyncConsole::SyncConsole(bool terminal, bool printChanges) : m_terminal(terminal), m_printChanges(printChanges) {}

SyncConsole::~SyncConsole()
{
    finish();
}

void SyncConsole::finish()
{
    if (m_lineShown) {
        std::fputs("\n", stderr);
        m_lineShown = false;
    }
    std::fflush(stderr);
}

void SyncConsole::plain(const std::string& text)
{
    finish();
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    m_lastPlain = Clock::now();
}

void SyncConsole::show(const std::string& text)
{
    if (!m_terminal) {
        if (Clock::now() - m_lastPlain >= kPlainInterval)
            plain(text);
        return;
    }
    // Back to the line's start, the text, and the rest of the old line cleared.
    std::fprintf(stderr, "\r%s\033[K", text.c_str());
    std::fflush(stderr);
    m_lineShown = true;
}

void SyncConsole::stage(const std::string& text)
{
    m_stage = text;
    m_stageStarted = Clock::now();
    if (m_terminal)
        show(text);
    else
        plain(text);
}

void SyncConsole::walking(long long datasets)
{
    show(m_stage + ": " + GroupedCount(datasets) + " data sets");
}

void SyncConsole::writing(long long done, long long total)
{
    const double elapsed = std::chrono::duration<double>(Clock::now() - m_stageStarted).count();
    std::string text = "Writing " + GroupedCount(done) + " of " + GroupedCount(total);
    if (elapsed > 0.5 && done > 0) {
        const double rate = done / elapsed;
        text += " (" + GroupedCount(static_cast<long long>(rate + 0.5)) + "/s, " +
                duration((total - done) / rate) + " left)";
    }
    show(text);
}

void SyncConsole::note(const std::string& text)
{
    plain(text);
}

void SyncConsole::change(const std::string& text)
{
    if (!m_printChanges)
        return;
    finish();
    std::fprintf(stdout, "%s\n", text.c_str());
    std::fflush(stdout);
}
