// The metadata pages: from a selection change to the page laid out (the
// "&Metadata" page through the stylesheet, the "&XML" page) or painted (the
// thumbnail), also with the metadata just changed so that no page kept or
// rendered ahead can serve it, and the transform itself against libxslt's
// own.
#include <libxml/parser.h>
#include <libxslt/documents.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <QComboBox>
#include <QLabel>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "BenchWindow.h"
#include "Benchmarks.h"
#include "app/BrowserPane.h"
#include "app/MetadataViews.h"
#include "app/ServerTree.h"
#include "model/StoreTreeModel.h"
#include "xml/TemporaryDocument.h"
#include "xml/XslTransform.h"
#include "app/dlgAtlasdeskU.h"

namespace bench {

namespace {

constexpr size_t kMetadataBytes = 140 * 1024;
const char* const kStylesheet = "FGDC_Plus.xsl";

const char* const kMonths[] = {"January", "February", "March", "April", "May", "June",
                               "July", "August", "September", "October", "November", "December"};
const struct {
    const char* label;
    const char* definition;
    const char* unit;
    const char* low;
    const char* high;
} kVariables[] = {
    {"TMAX", "mean of the daily maximum near-surface air temperature", "degrees Celsius", "-45.0", "55.0"},
    {"TMIN", "mean of the daily minimum near-surface air temperature", "degrees Celsius", "-60.0", "40.0"},
    {"PRCP", "total precipitation, rain and snow water equivalent", "millimetres", "0.0", "2500.0"},
    {"WIND", "mean near-surface wind speed at 10 m above ground", "metres per second", "0.0", "45.0"},
};

// The sample metadata (120 KB) grown to `bytes` with what large metadata
// files really carry: an entity and attribute section describing the
// monthly variables of the data set, inserted before the thumbnail.
std::string paddedMetadata(size_t bytes, const std::string& title)
{
    std::string doc = readFile(samplesDir() + "flathers_fgdc.xml");
    const size_t titleStart = doc.find("<title>");
    const size_t titleEnd = doc.find("</title>");
    if (titleStart == std::string::npos || titleEnd == std::string::npos)
        throw std::runtime_error("flathers_fgdc.xml has no title");
    doc.replace(titleStart + 7, titleEnd - titleStart - 7, title);
    const size_t binary = doc.find("\t<Binary>");
    if (binary == std::string::npos)
        throw std::runtime_error("flathers_fgdc.xml has no thumbnail");
    std::string section =
        "\t<eainfo>\n\t\t<detailed>\n\t\t\t<enttyp>\n\t\t\t\t<enttypl>monthly_grids</enttypl>\n"
        "\t\t\t\t<enttypd>One grid per variable and month, 1/8 degree cells, bias-corrected and "
        "spatially downscaled from the IPCC AR4 model runs.</enttypd>\n"
        "\t\t\t\t<enttypds>Downscaled climate model output</enttypds>\n\t\t\t</enttyp>\n";
    const std::string closing = "\t\t</detailed>\n\t</eainfo>\n";
    for (unsigned i = 0; doc.size() + section.size() + closing.size() < bytes; ++i) {
        const auto& v = kVariables[i % std::size(kVariables)];
        const std::string month = kMonths[(i / std::size(kVariables)) % 12];
        const std::string period = std::to_string(1950 + 10 * (i / 48 % 15)) + "-" + std::to_string(1959 + 10 * (i / 48 % 15));
        section += "\t\t\t<attr>\n\t\t\t\t<attrlabl>" + std::string(v.label) + "_" + month.substr(0, 3) + "_" +
                   period + "</attrlabl>\n\t\t\t\t<attrdef>Monthly " + v.definition + " for " + month + ", " +
                   period + ", averaged over the ensemble of the SRES A1B runs.</attrdef>\n"
                   "\t\t\t\t<attrdefs>Bias-corrected spatially downscaled CMIP3 projections</attrdefs>\n"
                   "\t\t\t\t<attrdomv>\n\t\t\t\t\t<rdom>\n\t\t\t\t\t\t<rdommin>" + v.low +
                   "</rdommin>\n\t\t\t\t\t\t<rdommax>" + v.high + "</rdommax>\n\t\t\t\t\t\t<attrunit>" + v.unit +
                   "</attrunit>\n\t\t\t\t\t</rdom>\n\t\t\t\t</attrdomv>\n\t\t\t</attr>\n";
    }
    section += closing;
    doc.insert(binary, section);
    return doc;
}

// Runs `trigger` (a selection as a click makes it, a page chosen) and waits
// for the page it brings: `pane`'s next page, or with no pane the thumbnail
// painted.
double timeToPage(TdlgAtlasdesk& w, const std::function<void()>& trigger, BrowserPane* pane)
{
    QEventLoop loop;
    bool done = false, ok = false;
    Clock::time_point end;
    const auto finish = [&](bool good) {
        end = Clock::now();
        ok = good;
        done = true;
        loop.quit();
    };
    QMetaObject::Connection connection;
    if (pane) {
        connection = QObject::connect(pane, &BrowserPane::rendered, &loop, finish);
    } else {
        // The window shows the answer first (its own connection is older).
        connection = QObject::connect(w.views(), &MetadataViews::ready, &loop, [&](const MetadataView& view) {
            if (view.request.page != MetadataPage::Thumbnail)
                return;
            w.imgThumbnail->repaint();
            finish(!w.imgThumbnail->pixmap().isNull());
        });
    }
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    const Clock::time_point start = Clock::now();
    trigger();
    if (!done)
        loop.exec();
    QObject::disconnect(connection);
    if (!done)
        throw std::runtime_error("the page did not come within a minute");
    if (!ok)
        throw std::runtime_error("the page came as an error page (or without its picture)");
    return std::chrono::duration<double>(end - start).count();
}

// The time from `trigger` to `pane`'s document being complete: a large page
// is on screen with its first part (timeToPage) and written whole after it.
double timeToWholePage(TdlgAtlasdesk& w, const std::function<void()>& trigger, BrowserPane* pane)
{
    const Clock::time_point start = Clock::now();
    timeToPage(w, trigger, pane);
    struct Poll {
        QEventLoop loop;
        bool complete = false;
    };
    auto poll = std::make_shared<Poll>();
    std::function<void()> ask = [pane, weak = std::weak_ptr<Poll>(poll), &ask] {
        pane->view()->page()->runJavaScript(QStringLiteral("document.readyState"), [weak, &ask](const QVariant& state) {
            const std::shared_ptr<Poll> poll = weak.lock();
            if (!poll)
                return;
            if (state.toString() != QLatin1String("complete"))
                return QTimer::singleShot(2, &poll->loop, ask);
            poll->complete = true;
            poll->loop.quit();
        });
    };
    ask();
    QTimer::singleShot(60000, &poll->loop, &QEventLoop::quit);
    poll->loop.exec();
    if (!poll->complete)
        throw std::runtime_error("the page was not whole within a minute");
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Lets events run for `ms` (pages asked for before have come).
void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The median of 12 selections alternating between `nodes`, on `page`;
// `before`, when set, runs before each selection (untimed) with the index
// of the node about to be selected.
double pageMedian(TdlgAtlasdesk& w, const QModelIndex (&nodes)[2], QWidget* page, BrowserPane* pane,
                  const std::function<void(int)>& before = {})
{
    if (w.PageControl1->currentWidget() != page)
        timeToPage(w, [&] { w.PageControl1->setCurrentWidget(page); }, pane);
    std::vector<double> times;
    for (int i = 1; i <= 12; ++i) {
        if (before)
            before(i % 2);
        times.push_back(timeToPage(w, [&] { w.tvXMLTree->setCurrentIndex(nodes[i % 2]); }, pane));
    }
    return median(times);
}

// libxslt's process-wide settings as the library starts with them: the
// program installs its own document loader and security checks, which the
// plain library does not have.
class PlainLibxslt {
public:
    PlainLibxslt() : m_loader(xsltDocDefaultLoader), m_prefs(xsltGetDefaultSecurityPrefs())
    {
        xsltSetLoaderFunc(nullptr);
        xsltSetDefaultSecurityPrefs(nullptr);
    }
    ~PlainLibxslt()
    {
        xsltSetLoaderFunc(m_loader);
        xsltSetDefaultSecurityPrefs(m_prefs);
    }
    PlainLibxslt(const PlainLibxslt&) = delete;
    PlainLibxslt& operator=(const PlainLibxslt&) = delete;

private:
    xsltDocLoaderFunc m_loader;
    xsltSecurityPrefsPtr m_prefs;
};

// libxslt on its own: the stylesheet parsed once, then the document parsed,
// transformed and serialised, as a program that uses the library directly
// does it.
class LibxsltTransform {
public:
    explicit LibxsltTransform(const std::string& stylesheet)
    {
        const PlainLibxslt plain;
        m_sheet = xsltParseStylesheetFile(reinterpret_cast<const xmlChar*>(stylesheet.c_str()));
        if (!m_sheet)
            throw std::runtime_error("libxslt cannot parse " + stylesheet);
    }
    ~LibxsltTransform() { xsltFreeStylesheet(m_sheet); }
    LibxsltTransform(const LibxsltTransform&) = delete;
    LibxsltTransform& operator=(const LibxsltTransform&) = delete;

    size_t run(const std::string& document)
    {
        const PlainLibxslt plain;
        xmlDocPtr doc = xmlReadFile(document.c_str(), nullptr, XML_PARSE_NONET);
        if (!doc)
            throw std::runtime_error("libxml2 cannot parse " + document);
        xmlDocPtr result = xsltApplyStylesheet(m_sheet, doc, nullptr);
        xmlChar* text = nullptr;
        int length = 0;
        if (result)
            xsltSaveResultToString(&text, &length, result, m_sheet);
        xmlFree(text);
        xmlFreeDoc(result);
        xmlFreeDoc(doc);
        if (!result || length <= 0)
            throw std::runtime_error("libxslt produced no page");
        return static_cast<size_t>(length);
    }

private:
    xsltStylesheetPtr m_sheet = nullptr;
};

void measureTransform(ResultTable& table, const std::string& input)
{
    ScratchDir dir("transform");
    copyFile(samplesDir() + kStylesheet, dir.path() + "~Last Used.xsl");
    writeFile(dir.path() + "climate.tif.xml", paddedMetadata(kMetadataBytes, "Downscaled climate model output"));
    const std::string document = dir.path() + "~TempXML.xml";
    writeTemporaryDocument(dir.path() + "climate.tif.xml", document);

    TransformFile(document); // the program's libxslt set-up, done once at first use
    LibxsltTransform libxslt(dir.path() + "~Last Used.xsl");
    const auto bare = [&] { return timed([&] { libxslt.run(document); }); };
    const auto real = [&] {
        RenderResult result;
        const double t = timed([&] { result = TransformFile(document); });
        if (!result.ok)
            throw std::runtime_error("TransformFile failed: " + result.error);
        return t;
    };
    const PairedMedians m = measurePaired(15, bare, real);
    table.addJudged("Transform vs libxslt", input, formatDuration(m.real) + " vs " + formatDuration(m.bare),
                    m.real / m.bare, 1.2, "x");
}

} // namespace

void runRendering(ResultTable& table)
{
    const std::string input = "140 KB metadata, 240 KB stylesheet";
    std::cerr << "rendering\n";
    try {
        ScratchDir store("render");
        const std::string files[2] = {store.path() + "climate_a.tif.xml", store.path() + "climate_b.tif.xml"};
        const std::string documents[2] = {
            paddedMetadata(kMetadataBytes, "Downscaled Climate Model Output, scenario A1B"),
            paddedMetadata(kMetadataBytes, "Downscaled Climate Model Output, scenario A2")};
        writeFile(store.path() + "climate_a.tif", std::string(100, '\0'));
        writeFile(files[0], documents[0]);
        writeFile(store.path() + "climate_b.tif", std::string(100, '\0'));
        writeFile(files[1], documents[1]);

        BenchWindow bw({samplesDir() + kStylesheet});
        TdlgAtlasdesk& w = bw.window();
        const int sheet = w.cbXslFormat->findText(QString::fromLatin1(kStylesheet));
        if (sheet < 0)
            throw std::runtime_error("the stylesheet is not offered in the Format list");
        w.cbXslFormat->setCurrentIndex(sheet);
        w.PageControl1->setCurrentWidget(w.TabXSL);
        // The first page after start: the start page that connecting brings
        // (the page renderer starts with it).
        const double first = timeToPage(w, [&] { w.ConnectToServer(store.path()); }, w.wbXSL);
        const QModelIndex root = w.tvXMLTree->rootNode();
        w.tvXMLTree->expand(root);
        bw.waitForListings();
        if (w.storeTree()->rowCount(root) != 2)
            throw std::runtime_error("the store does not show its two data sets");
        const QModelIndex nodes[] = {w.storeTree()->index(0, 0, root), w.storeTree()->index(1, 0, root)};

        // The start page's redraws for the listing's counts are over once
        // a data set's page has been shown.
        idle(500);
        timeToPage(w, [&] { w.tvXMLTree->setCurrentIndex(nodes[0]); }, w.wbXSL);
        idle(500);
        const double rendered = pageMedian(w, nodes, w.TabXSL, w.wbXSL);
        const double raw = pageMedian(w, nodes, w.tabXML, w.wbXML);
        std::vector<double> wholeTimes;
        for (int i = 1; i <= 12; ++i)
            wholeTimes.push_back(
                timeToWholePage(w, [&] { w.tvXMLTree->setCurrentIndex(nodes[i % 2]); }, w.wbXML));
        const double whole = median(wholeTimes);
        const double thumbnail = pageMedian(w, nodes, w.tabThumbnail, nullptr);
        // Each data set's metadata written anew (other bytes) just before it
        // is selected: no page kept or rendered ahead can serve it, as for a
        // row the user jumps to.
        int rewrites = 0;
        const auto rewrite = [&](int node) {
            writeFile(files[node], documents[node] + "<!-- " + std::to_string(++rewrites) + " -->\n");
        };
        const double coldRendered = pageMedian(w, nodes, w.TabXSL, w.wbXSL, rewrite);
        const double coldRaw = pageMedian(w, nodes, w.tabXML, w.wbXML, rewrite);
        const QStringList errors = bw.takeErrors();
        if (!errors.isEmpty())
            throw std::runtime_error("rendering reported: " + errors.join("; ").toStdString());
        table.addJudged("Render: selection to rendered page", input, formatDuration(rendered) + " (median of 12)",
                        rendered, 0.05, "s");
        table.addJudged("Render: selection to XML page", input, formatDuration(raw) + " (median of 12)", raw, 0.05,
                        "s");
        table.addJudged("Render: selection to painted thumbnail", input,
                        formatDuration(thumbnail) + " (median of 12)", thumbnail, 0.05, "s");
        const auto reportOnly = [&](const std::string& figure, const std::string& measured) {
            Row row;
            row.figure = figure;
            row.input = input;
            row.measured = measured;
            row.judgedBy = "-";
            row.target = "-";
            row.informational = true;
            table.add(row);
        };
        reportOnly("Render: selection to rendered page, metadata just changed",
                   formatDuration(coldRendered) + " (median of 12; nothing kept or rendered ahead serves it)");
        reportOnly("Render: selection to XML page, metadata just changed",
                   formatDuration(coldRaw) + " (median of 12; nothing kept or rendered ahead serves it)");
        reportOnly("Render: selection to whole XML page",
                   formatDuration(whole) + " (median of 12; on screen with its first part, the rest written after)");
        reportOnly("Render: first page after start",
                   formatDuration(first) + " (the start page; starts the page renderer)");
    } catch (const std::exception& e) {
        table.addFailure("Render: selection to rendered page", input, e.what());
    }
    try {
        measureTransform(table, input);
    } catch (const std::exception& e) {
        table.addFailure("Transform vs libxslt", input, e.what());
    }
}

} // namespace bench
