#include "BenchSupport.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace bench {

double timed(const std::function<void()>& work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

PairedMedians measurePaired(int repetitions, const std::function<double()>& bare,
                            const std::function<double()>& real)
{
    bare();
    real();
    std::vector<double> bareTimes, realTimes;
    for (int i = 0; i < repetitions; ++i) {
        bareTimes.push_back(bare());
        realTimes.push_back(real());
    }
    return {median(bareTimes), median(realTimes)};
}

double measureMedian(int repetitions, int warmups, const std::function<double()>& run)
{
    for (int i = 0; i < warmups; ++i)
        run();
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i)
        times.push_back(run());
    return median(times);
}

ScratchDir::ScratchDir(const std::string& label)
{
    std::string pattern = (std::filesystem::temp_directory_path() / ("atlasdesk-bench-" + label + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a scratch directory for " + label);
    m_path = pattern + "/";
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void makeDirectories(const std::string& path)
{
    std::filesystem::create_directories(path);
}

void copyFile(const std::string& from, const std::string& to)
{
    writeFile(to, readFile(from));
}

namespace {

const std::array<const char*, 12> kSubjects = {
    "roads", "rivers", "landcover", "buildings", "parcels", "contours",
    "railways", "lakes", "soils", "geology", "orthophoto", "boundaries"};
const std::array<const char*, 6> kSources = {"swisstopo", "ign", "osm", "cantonal", "brgm", "eurostat"};
const std::array<const char*, 5> kOrganisations = {
    "Federal Office of Topography", "Institut national de l'information geographique",
    "Cantonal Survey Office", "OpenStreetMap contributors", "European Environment Agency"};

} // namespace

std::string datasetName(unsigned serial)
{
    char number[16];
    std::snprintf(number, sizeof number, "%05u", serial);
    return std::string(kSubjects[serial % kSubjects.size()]) + "_" +
           kSources[(serial / kSubjects.size()) % kSources.size()] + "_" + number;
}

std::string organisationOf(unsigned serial)
{
    return kOrganisations[serial % kOrganisations.size()];
}

std::string metadataDocument(const DatasetDescription& d)
{
    const std::string organisation = organisationOf(d.serial);
    const double west = 5.9 + (d.serial % 97) * 0.01;
    const double south = 45.8 + (d.serial % 89) * 0.01;
    std::ostringstream x;
    x << std::fixed << std::setprecision(4);
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE metadata SYSTEM \"http://www.esri.com/metadata/esriprof80.dtd\">\n"
         "<metadata xml:lang=\"en\">\n"
         "  <Esri>\n"
         "    <CreaDate Sync=\"TRUE\">20080314</CreaDate>\n"
         "    <CreaTime Sync=\"TRUE\">09312400</CreaTime>\n"
         "    <SyncOnce>FALSE</SyncOnce>\n"
         "    <ModDate Sync=\"TRUE\">20090402</ModDate>\n"
         "    <MetaID>{8EC013CA-2AC3-E14F-F4A4-"
      << std::setw(12) << std::setfill('0') << d.serial << std::setfill(' ')
      << "}</MetaID>\n"
         "    <DataProperties><itemProps><itemName Sync=\"TRUE\">"
      << d.name
      << "</itemName><itemLocation><linkage Sync=\"TRUE\">file://\\\\GEOSERVER\\Geodata\\"
      << d.name
      << "</linkage><protocol Sync=\"TRUE\">Local Area Network</protocol></itemLocation></itemProps></DataProperties>\n"
         "  </Esri>\n"
         "  <idinfo>\n"
         "    <citation><citeinfo>\n"
         "      <origin>"
      << organisation
      << "</origin>\n"
         "      <pubdate>2008"
      << std::setw(2) << std::setfill('0') << (d.serial % 12 + 1) << std::setfill(' ')
      << "15</pubdate>\n"
         "      <title>"
      << d.name << " - " << d.theme << " of " << d.place
      << "</title>\n"
         "      <edition>"
      << (2000 + d.serial % 20)
      << "</edition>\n"
         "      <serinfo><sername>Geodata store</sername><issue>"
      << (d.serial % 1000)
      << "</issue></serinfo>\n"
         "      <onlink>http://www.geodata.example.org/datasets/"
      << d.name
      << "</onlink>\n"
         "    </citeinfo></citation>\n"
         "    <descript>\n"
         "      <abstract>"
      << d.theme << " of " << d.place
      << " digitised from the national base maps at 1:25 000 and checked against the 2007 orthophotos. "
         "Each feature carries its survey date, its source and the accuracy class of its geometry.</abstract>\n"
         "      <purpose>Reference layer for planning and for the maps of the cantonal atlas.</purpose>\n"
         "      <supplinf>Features changed since the last survey are flagged in the attribute MODIF.\n\n"
         "Do not measure areas on the generalised version: use the survey's own data set. The provider's "
         "terms apply to every copy.</supplinf>\n"
         "    </descript>\n"
         "    <timeperd><timeinfo><sngdate><caldate>2007</caldate></sngdate></timeinfo><current>ground condition</current></timeperd>\n"
         "    <status><progress>Complete</progress><update>As needed</update></status>\n"
         "    <spdom><bounding>\n"
         "      <westbc>"
      << west << "</westbc>\n      <eastbc>" << west + 0.35 << "</eastbc>\n      <northbc>" << south + 0.21
      << "</northbc>\n      <southbc>" << south
      << "</southbc>\n"
         "    </bounding></spdom>\n"
         "    <keywords>\n"
         "      <theme><themekt>ISO 19115 Topic Category</themekt><themekey>"
      << d.theme
      << "</themekey><themekey>base map</themekey><themekey>reference</themekey></theme>\n"
         "      <place><placekt>Geographic names</placekt><placekey>"
      << d.place
      << "</placekey><placekey>Europe</placekey></place>\n"
         "    </keywords>\n"
         "    <accconst>None</accconst>\n"
         "    <useconst>Free use for teaching and research; commercial use under licence from the provider. "
         "Quote the source on every map.</useconst>\n"
         "    <ptcontac><cntinfo><cntperp><cntper>Data manager</cntper><cntorg>"
      << organisation
      << "</cntorg></cntperp><cntemail>geodata@geodata.example.org</cntemail></cntinfo></ptcontac>\n"
         "    <browse><browsen>"
      << d.name
      << ".png</browsen><browsed>Overview</browsed><browset>PNG</browset></browse>\n"
         "    <secinfo><secsys>None</secsys><secclass>"
      << (d.serial % 5)
      << "</secclass></secinfo>\n"
         "    <native>ESRI ArcCatalog 9.2.0.1324</native>\n"
         "  </idinfo>\n"
         "  <dataqual><lineage><srcinfo><srcscale>25000</srcscale><typesrc>paper</typesrc>"
         "<srccitea>Base map</srccitea></srcinfo></lineage></dataqual>\n"
         "  <spdoinfo><direct>Vector</direct></spdoinfo>\n"
         "  <spref><horizsys><planar><planci><plance>coordinate pair</plance><plandu>meters</plandu></planci></planar>"
         "<geodetic><horizdn>CH1903</horizdn><ellips>Bessel 1841</ellips></geodetic></horizsys></spref>\n"
         "  <spdom><lbounding><leftbc>"
      << 485000 + d.serial % 1000 << ".5</leftbc><rightbc>" << 834000 + d.serial % 1000 << ".5</rightbc><bottombc>"
      << 75000 + d.serial % 1000 << "</bottombc><topbc>" << 296000 + d.serial % 1000
      << "</topbc></lbounding></spdom>\n"
         "  <distinfo>\n"
         "    <distrib><cntinfo><cntorgp><cntorg>"
      << kSources[d.serial % kSources.size()] << "</cntorg><cntper>" << organisation
      << "</cntper></cntorgp><cntaddr><addrtype>mailing</addrtype><city>Bern</city></cntaddr></cntinfo></distrib>\n"
         "    <stdorder><digform><digtinfo><formname>SHP</formname><transize>"
      << (d.serial % 50) * 0.25 + 0.5
      << "</transize></digtinfo><digtopt><onlinopt><computer><networka><networkr>http://www.geodata.example.org/download/"
      << d.name
      << "</networkr></networka></computer></onlinopt></digtopt></digform><fees>none</fees>"
         "<ordering>http://www.geodata.example.org/licence</ordering></stdorder>\n"
         "  </distinfo>\n"
         "  <metainfo><metd>20090402</metd><metc><cntinfo><cntorgp><cntper>Atlasdesk geodata manager</cntper>"
         "</cntorgp><cntemail>geodata@atlasdesk.org</cntemail></cntinfo></metc>"
         "<metstdn>FGDC Content Standards for Digital Geospatial Metadata</metstdn><metstdv>FGDC-STD-001-1998</metstdv></metainfo>\n"
         "</metadata>\n";
    return x.str();
}

void writeDataset(const std::string& dir, const std::string& name, const std::string& ext,
                  const DatasetDescription& description)
{
    writeFile(dir + name + ext, std::string(100, '\0'));
    writeFile(dir + name + ext + ".xml", metadataDocument(description));
}

namespace {

size_t walk(const std::string& dir, bool recurse)
{
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return 0;
    size_t entries = 0;
    std::vector<std::string> subdirectories;
    while (const dirent* e = ::readdir(d)) {
        ++entries;
        const std::string path = dir + e->d_name;
        struct stat st;
        if (::stat(path.c_str(), &st) == 0 && recurse && S_ISDIR(st.st_mode) &&
            std::string_view(e->d_name) != "." && std::string_view(e->d_name) != "..")
            subdirectories.push_back(path + "/");
    }
    ::closedir(d);
    for (const std::string& sub : subdirectories)
        entries += walk(sub, true);
    return entries;
}

} // namespace

size_t readdirAndStat(const std::string& dir)
{
    return walk(dir, false);
}

size_t walkTree(const std::string& dir)
{
    return walk(dir, true);
}

void runEventLoopUntil(const std::function<bool()>& done)
{
    if (done())
        return;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start();
    loop.exec();
}

double longestStall(const std::function<bool()>& busy)
{
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (sinceTick.isValid())
            longest = std::max(longest, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });
    timer.start();
    runEventLoopUntil([&] { return !busy(); });
    // The turn that attached the answer counts too.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return static_cast<double>(longest) / 1e9;
}

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

std::string sourceDir()
{
    return ATLASDESK_SOURCE_DIR "/";
}

std::string samplesDir()
{
    if (const char* env = std::getenv("ATLASDESK_SAMPLES_DIR"); env && *env)
        return std::string(env) + "/";
    return ATLASDESK_SAMPLES_DIR "/";
}

void ResultTable::add(Row row)
{
    m_rows.push_back(std::move(row));
}

void ResultTable::addJudged(const std::string& figure, const std::string& input, const std::string& measured,
                            double value, double limit, const std::string& unit)
{
    Row row;
    row.figure = figure;
    row.input = input;
    row.measured = measured;
    if (unit == "x") {
        row.judgedBy = formatRatio(value);
        row.target = "<= " + formatRatio(limit);
    } else {
        row.judgedBy = formatDuration(value);
        row.target = "< " + formatDuration(limit);
    }
    row.pass = value <= limit;
    add(std::move(row));
}

void ResultTable::addFailure(const std::string& figure, const std::string& input, const std::string& reason)
{
    Row row;
    row.figure = figure;
    row.input = input;
    row.measured = "not measured: " + reason;
    row.judgedBy = "-";
    row.target = "-";
    row.pass = false;
    add(std::move(row));
}

namespace {

// Display width in characters (UTF-8 continuation bytes take no column).
size_t columns(const std::string& text)
{
    size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

std::string padded(const std::string& text, size_t width)
{
    const size_t n = columns(text);
    return text + std::string(width > n ? width - n : 0, ' ');
}

} // namespace

void ResultTable::print(std::ostream& out) const
{
    const std::array<const char*, 6> headers = {"figure", "input", "measured", "judged by", "target", "result"};
    std::array<size_t, 6> widths{};
    auto cells = [](const Row& r) {
        return std::array<std::string, 6>{r.figure, r.input, r.measured, r.judgedBy, r.target,
                                          r.informational ? "info" : (r.pass ? "PASS" : "FAIL")};
    };
    for (size_t i = 0; i < headers.size(); ++i)
        widths[i] = columns(headers[i]);
    for (const Row& r : m_rows) {
        const auto c = cells(r);
        for (size_t i = 0; i < c.size(); ++i)
            widths[i] = std::max(widths[i], columns(c[i]));
    }
    auto line = [&](const std::array<std::string, 6>& c) {
        std::string text;
        for (size_t i = 0; i < c.size(); ++i)
            text += (i ? " | " : "") + (i + 1 < c.size() ? padded(c[i], widths[i]) : c[i]);
        out << text << "\n";
    };
    line({headers[0], headers[1], headers[2], headers[3], headers[4], headers[5]});
    std::string rule;
    for (size_t i = 0; i < widths.size(); ++i)
        rule += (i ? "-+-" : "") + std::string(i + 1 < widths.size() ? widths[i] : 6, '-');
    out << rule << "\n";
    for (const Row& r : m_rows)
        line(cells(r));
}

bool ResultTable::allPassed() const
{
    return std::all_of(m_rows.begin(), m_rows.end(), [](const Row& r) { return r.informational || r.pass; });
}

std::string formatDuration(double seconds)
{
    char text[32];
    if (seconds >= 1)
        std::snprintf(text, sizeof text, "%.2f s", seconds);
    else if (seconds >= 1e-3)
        std::snprintf(text, sizeof text, "%.1f ms", seconds * 1e3);
    else
        std::snprintf(text, sizeof text, "%.2f µs", seconds * 1e6);
    return text;
}

std::string formatRatio(double ratio)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2fx", ratio);
    return text;
}

std::string formatCount(size_t count)
{
    std::string digits = std::to_string(count);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<size_t>(i), ",");
    return digits;
}

} // namespace bench
