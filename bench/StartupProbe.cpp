// The program's start-up as its entry runs it (runProgram), ended at the
// first paint of the main window: prints the time since the process started
// and the process's peak memory, then quits.
//
// The time counts from the kernel's start time of this process
// (/proc/self/stat), so loading the program and its libraries is included.
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "app/ProgramStart.h"

namespace {

// Seconds since boot at which this process started.
double processStartSeconds()
{
    std::ifstream in("/proc/self/stat");
    std::string line;
    std::getline(in, line);
    // Field 22; the command name (field 2) may hold blanks, so count after it.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22; ++i)
        fields >> field;
    return std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double secondsSinceBoot()
{
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The peak resident size of this program, in KB: VmHWM belongs to the
// program's own memory image. getrusage's ru_maxrss does not: it keeps the
// peak from before exec, that of the process this one was forked from (the
// benchmark driver, hundreds of MB after the other figures).
long peakResidentKb()
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    long kb = -1;
    char line[256];
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1)
            break;
    std::fclose(status);
    return kb;
}

// Reports once the first paint of the window has been handled.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QWidget* window) : QObject(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // The paint runs after this filter; the report waits for it.
            QTimer::singleShot(0, [] {
                const double elapsed = secondsSinceBoot() - processStartSeconds();
                std::printf("startup_ms=%.1f peak_kb=%ld\n", elapsed * 1000, peakResidentKb());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

} // namespace

int main(int argc, char* argv[])
{
    return runProgram(argc, argv, [](QWidget& window) { new FirstPaint(&window); });
}
