#pragma once
// Shared pieces of the benchmark driver: timing and medians, scratch
// folders, generated data sets with their metadata, and the result table.
//
// Every figure is judged by a ratio of two times taken in the same run
// (the real code against a bare loop over the same input, or the real code
// at two input sizes), because absolute times drift on shared machines.
#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// Seconds taken by `work`.
double timed(const std::function<void()>& work);

double median(std::vector<double> values);

// The medians of two measurements taken alternately (bare, real, bare,
// real, ...) after one untimed warm-up of each, so that both see the same
// machine load and the same caches. Each function returns the seconds of
// its own timed part, leaving its preparation out.
struct PairedMedians {
    double bare = 0;
    double real = 0;
};
PairedMedians measurePaired(int repetitions, const std::function<double()>& bare,
                            const std::function<double()>& real);

// The median of `repetitions` runs of `run` after `warmups` untimed ones.
double measureMedian(int repetitions, int warmups, const std::function<double()>& run);

// A fresh directory under the temporary folder, removed with its content.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& label);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The directory, with its trailing '/'.
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
void makeDirectories(const std::string& path);
void copyFile(const std::string& from, const std::string& to);

// What a generated metadata document says about its data set.
struct DatasetDescription {
    std::string name;  // file name without extension
    std::string theme; // a theme keyword
    std::string place; // a place keyword
    unsigned serial = 0;
};

// An ESRI-profile metadata document of about 3.5 KB that fills every field
// of the shipped field map (title, abstract, contacts, bounding boxes,
// keywords, distribution, ...), with text that differs per data set.
std::string metadataDocument(const DatasetDescription& dataset);

// Writes one data set into `dir`: the data file `name + ext` (a short
// header; only its directory entry matters to the tree) and its metadata
// file `name + ext + ".xml"`.
void writeDataset(const std::string& dir, const std::string& name, const std::string& ext,
                  const DatasetDescription& description);

// A data set name as stores have them: a subject, a source and a number.
std::string datasetName(unsigned serial);
// The organisation metadataDocument names as the originator of `serial`.
std::string organisationOf(unsigned serial);

// The bare listing every expansion is judged against: readdir over `dir`
// and stat of every entry. Returns the number of entries.
size_t readdirAndStat(const std::string& dir);
// The same over a whole tree, entering every subdirectory once.
size_t walkTree(const std::string& dir);

// Runs the event loop until the posted work (layouts, paints) is done.
void settle();
// Runs the event loop (sleeping between events, as the program's own loop
// does) until `done()` holds; it is asked every millisecond.
void runEventLoopUntil(const std::function<bool()>& done);

// Runs the event loop while `busy()` holds and returns the longest time, in
// seconds, between two turns of it, measured by a 1 ms timer on this thread.
double longestStall(const std::function<bool()>& busy);

// The folder of the repository and of the shared samples (compiled in,
// ATLASDESK_SAMPLES_DIR in the environment wins).
std::string sourceDir();
std::string samplesDir();

// One row of the result table.
struct Row {
    std::string figure;
    std::string input;
    std::string measured;
    std::string judgedBy; // the ratio or value the target applies to, as text
    std::string target;
    bool pass = false;
    bool informational = false; // reported, not judged
};

class ResultTable {
public:
    void add(Row row);
    // A row that is judged as "value <= limit".
    void addJudged(const std::string& figure, const std::string& input, const std::string& measured,
                   double value, double limit, const std::string& unit);
    // A figure that could not be measured: a failed row with the reason.
    void addFailure(const std::string& figure, const std::string& input, const std::string& reason);
    void print(std::ostream& out) const;
    bool allPassed() const;
    bool empty() const { return m_rows.empty(); }

private:
    std::vector<Row> m_rows;
};

// "12.3 ms", "4.56 s", "850 µs": a duration for people.
std::string formatDuration(double seconds);
// "1.23x"
std::string formatRatio(double ratio);
// "50,000"
std::string formatCount(size_t count);

} // namespace bench
