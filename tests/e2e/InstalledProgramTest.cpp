// The installed program as an ordinary user runs it (installed-as-user.sh
// prepares the installation and the user and starts this test on a virtual
// X server): a separate process driven only through the keyboard and the
// mouse, observed only through what it shows. The page renderer's own
// debugging endpoint (on loopback) tells which page each browser pane shows;
// a grab of the screen shows the thumbnail.
//
// Environment: ATLASDESK_PROGRAM (the installed command), ATLASDESK_DEMO
// (a copy of the demo server), ATLASDESK_MAPS (a folder of the user's to
// add as a second server), ATLASDESK_SHOTS (where screenshots of a failure
// go).
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPixmap>
#include <QPoint>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <functional>

namespace {

constexpr int kStartTimeoutMs = 90000;
constexpr int kStepTimeoutMs = 30000;
// What the demo data set 10_world/countries.shp is titled.
const QString kDemoTitle = QStringLiteral("World countries");

QString env(const char* name)
{
    return qEnvironmentVariable(name);
}

// Runs xdotool with `arguments`; its output, trimmed.
QString xdotool(const QStringList& arguments)
{
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(10000))
        return {};
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

void key(const QString& keys)
{
    xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("80"), keys});
    // Keys are paced by the user's hand: a keyboard search starts anew after
    // a pause, and menus open before their items are chosen.
    QTest::qWait(500);
}

void type(const QString& text)
{
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
    QTest::qWait(500);
}

// Waits up to `ms` for `condition`, letting events run.
bool waitFor(const std::function<bool()>& condition, int ms = kStepTimeoutMs)
{
    return QTest::qWaitFor(condition, ms);
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

// The visible top-level window whose title is `pattern` (a regular
// expression), alone or followed by the application's name, or "".
QString windowNamed(const QString& pattern)
{
    const QString ids = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                 QStringLiteral("^") + pattern + QStringLiteral("( \u2014 Atlasdesk)?$")});
    return ids.section(QLatin1Char('\n'), 0, 0);
}

Geometry geometryOf(const QString& window)
{
    Geometry g;
    const QString shell = xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
    for (const QString& line : shell.split(QLatin1Char('\n'))) {
        const QString name = line.section(QLatin1Char('='), 0, 0);
        const int value = line.section(QLatin1Char('='), 1).toInt();
        if (name == QLatin1String("X"))
            g.x = value;
        else if (name == QLatin1String("Y"))
            g.y = value;
        else if (name == QLatin1String("WIDTH"))
            g.width = value;
        else if (name == QLatin1String("HEIGHT"))
            g.height = value;
    }
    return g;
}

// Gives `window` the keyboard (there is no window manager to do it).
void focus(const QString& window)
{
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    QTest::qWait(300);
}

void click(int x, int y)
{
    xdotool({QStringLiteral("mousemove"), QString::number(x), QString::number(y), QStringLiteral("click"),
             QStringLiteral("1")});
    QTest::qWait(500);
}

QImage screen()
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

// Where `picture` appears pixel for pixel in `shot` (its top left corner),
// the first place found row by row; (-1, -1) when nowhere.
QPoint placeOf(const QImage& shot, const QImage& picture)
{
    const QImage p = picture.convertToFormat(QImage::Format_RGB32);
    const int w = p.width(), h = p.height();
    if (w == 0 || h == 0)
        return {-1, -1};
    const auto* first = reinterpret_cast<const QRgb*>(p.constScanLine(0));
    for (int y = 0; y + h <= shot.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
        for (int x = 0; x + w <= shot.width(); ++x) {
            if (std::memcmp(row + x, first, sizeof(QRgb) * static_cast<size_t>(w)) != 0)
                continue;
            bool all = true;
            for (int dy = 1; dy < h && all; ++dy)
                all = std::memcmp(reinterpret_cast<const QRgb*>(shot.constScanLine(y + dy)) + x,
                                  p.constScanLine(dy), sizeof(QRgb) * static_cast<size_t>(w)) == 0;
            if (all)
                return {x, y};
        }
    }
    return {-1, -1};
}

// The thumbnail a metadata file holds (Binary/Thumbnail/Data).
QImage thumbnailOf(const QString& metadataFile)
{
    QFile file(metadataFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    const QRegularExpression data(QStringLiteral("<Data[^>]*>([^<]*)</Data>"));
    const QRegularExpressionMatch m = data.match(text);
    if (!m.hasMatch())
        return {};
    return QImage::fromData(QByteArray::fromBase64(m.captured(1).toLatin1()));
}

// A loopback port nobody listens on right now.
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class InstalledProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_program = env("ATLASDESK_PROGRAM");
        m_demo = QDir::cleanPath(env("ATLASDESK_DEMO"));
        m_maps = QDir::cleanPath(env("ATLASDESK_MAPS"));
        ASSERT_FALSE(m_program.isEmpty() || m_demo.isEmpty() || m_maps.isEmpty())
            << "run through installed-as-user.sh";
        m_port = freePort();
    }

    void TearDown() override
    {
        if (HasFailure())
            saveScreen(QStringLiteral("failure"));
        stop();
    }

    void saveScreen(const QString& name)
    {
        const QString folder = env("ATLASDESK_SHOTS");
        if (folder.isEmpty())
            return;
        const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
        if (screen().save(path))
            std::printf("screen saved as %s\n", qPrintable(path));
    }

    // Starts the program from the user's home folder and waits for its
    // window (captioned with the edition, and with the server it went back
    // to when one was connected last time); false when it does not come.
    bool start()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"),
                           QStringLiteral("127.0.0.1:") + QString::number(m_port));
        m_process.setProcessEnvironment(environment);
        m_process.setWorkingDirectory(QDir::homePath());
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(m_program, {});
        if (!m_process.waitForStarted(10000))
            return false;
        if (!waitFor([&] { return !(m_window = windowNamed(QStringLiteral("Atlasdesk\\.View( - .+)?"))).isEmpty(); },
                     kStartTimeoutMs))
            return false;
        m_geometry = geometryOf(m_window);
        return true;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(20000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // The caption once it names `root` (the program's proof of a connection).
    bool connectedTo(const QString& root)
    {
        return waitFor([&] {
            return !windowNamed(QRegularExpression::escape(QStringLiteral("Atlasdesk.View - ") + root)).isEmpty();
        });
    }

    // "&Files" > "&Connect to geodata server..." > "&New server...", the
    // folder typed into the picker.
    void addServer(const QString& folder)
    {
        openFilesMenu();
        key(QStringLiteral("c"));
        key(QStringLiteral("n"));
        QString picker;
        ASSERT_TRUE(waitFor([&] { return !(picker = windowNamed(QStringLiteral("Select the root directory"))).isEmpty(); }))
            << "no folder picker";
        focus(picker);
        key(QStringLiteral("ctrl+a"));
        type(folder);
        key(QStringLiteral("Return"));
        ASSERT_TRUE(connectedTo(folder)) << "the caption does not name " << folder.toStdString();
    }

    // The titles of the pages the browser panes show.
    QStringList pageTitles()
    {
        QNetworkAccessManager network;
        QNetworkReply* reply = network.get(QNetworkRequest(
            QUrl(QStringLiteral("http://127.0.0.1:%1/json/list").arg(m_port))));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec();
        QStringList titles;
        for (const QJsonValue& page : QJsonDocument::fromJson(reply->readAll()).array())
            titles << page.toObject().value(QStringLiteral("title")).toString();
        reply->deleteLater();
        return titles;
    }

    // An error box of the program (titled with the application's name).
    static bool errorBoxShown()
    {
        return !xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                         QStringLiteral("^Atlasdesk$")}).isEmpty();
    }

    // A point of the window, from its top left corner.
    void clickAt(int dx, int dy) { click(m_geometry.x + dx, m_geometry.y + dy); }

    // "&Files", the first entry of the menu bar.
    void openFilesMenu()
    {
        focus(m_window);
        clickAt(22, 9);
    }

    QString m_program, m_demo, m_maps, m_window;
    quint16 m_port = 0;
    Geometry m_geometry;
    QProcess m_process;
};

TEST_F(InstalledProgram, AnOrdinaryUserBrowsesTheDemoServerAndKeepsTheServersTheyAdd)
{
    ASSERT_TRUE(start()) << "the window did not appear";
    EXPECT_FALSE(errorBoxShown()) << "an error box at start-up";

    // Connect to the demo server through the folder picker.
    addServer(m_demo);
    if (HasFatalFailure())
        return;

    // Select the data set 10_world/countries.shp with the keyboard: the
    // root (first row of the tree), expanded; the folder and the data set
    // found by typing their names. The Metadata page shows it.
    const QImage thumbnail = thumbnailOf(m_demo + QStringLiteral("/10_world/countries.shp.xml"));
    ASSERT_FALSE(thumbnail.isNull()) << "the demo data set has a thumbnail";
    bool rendered = false;
    for (int attempt = 0; attempt < 3 && !rendered; ++attempt) {
        focus(m_window);
        clickAt(60, 75); // the tree's first row, below the search field
        key(QStringLiteral("Home"));
        key(QStringLiteral("plus"));
        type(QStringLiteral("10_world"));
        key(QStringLiteral("plus"));
        type(QStringLiteral("countries.shp"));
        rendered = waitFor([&] { return pageTitles().contains(kDemoTitle); }, 20000);
    }
    ASSERT_TRUE(rendered) << "the Metadata page does not show the data set; pages: "
                          << pageTitles().join(QStringLiteral(", ")).toStdString()
                          << (errorBoxShown() ? "; an error box is shown (see the screen saved)" : "");
    saveScreen(QStringLiteral("metadata"));

    // The Thumbnail page, one of the tabs right of "&Metadata" (tried from
    // left to right): the picture appears where it was not before.
    const QPoint before = placeOf(screen(), thumbnail);
    bool pictured = false;
    for (int x = 400; x <= 520 && !pictured; x += 45) {
        clickAt(x, 32);
        pictured = waitFor([&] {
            const QPoint at = placeOf(screen(), thumbnail);
            return at.x() >= 0 && at != before;
        }, 5000);
    }
    EXPECT_TRUE(pictured) << "the Thumbnail page does not show the data set's picture";
    saveScreen(QStringLiteral("thumbnail"));

    // A server of the user's own.
    addServer(m_maps);
    if (HasFatalFailure())
        return;
    stop();

    // Started again: back on the server connected last; both servers are
    // listed, in byte order after "&New server...", and each connects.
    ASSERT_LT(m_demo, m_maps) << "the demo server sorts first";
    ASSERT_TRUE(start()) << "the window did not appear the second time";
    EXPECT_TRUE(connectedTo(m_maps)) << "the program did not start on the server connected last";
    const auto connectEntry = [&](int entry) {
        openFilesMenu();
        key(QStringLiteral("c"));
        for (int i = 0; i < entry; ++i)
            key(QStringLiteral("Down"));
        key(QStringLiteral("Return"));
    };
    connectEntry(1);
    EXPECT_TRUE(connectedTo(m_demo)) << "the demo server is not the first entry of the list";
    connectEntry(2);
    EXPECT_TRUE(connectedTo(m_maps)) << "the added server is not the second entry of the list";

    // The user's own configuration holds both; the shared one is untouched
    // (installed-as-user.sh compares it with the one shipped).
    QCoreApplication::setApplicationName(QStringLiteral("Atlasdesk"));
    QFile own(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
              QStringLiteral("/AtlasdeskView.ini.xml"));
    ASSERT_TRUE(own.open(QIODevice::ReadOnly)) << "no configuration of the user's own";
    const QByteArray text = own.readAll();
    EXPECT_TRUE(text.contains("<path>" + m_demo.toUtf8() + "</path>"));
    EXPECT_TRUE(text.contains("<path>" + m_maps.toUtf8() + "</path>"));
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
