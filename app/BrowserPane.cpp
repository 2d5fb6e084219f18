#include "app/BrowserPane.h"

#include "support/Errors.h"
#include "support/FileOps.h"
#include "support/PathOps.h"
#include "support/StringOps.h"
#include "xml/XslTransform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTemporaryDir>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <string_view>

namespace {

// setHtml hands the page to Chromium as a base64 data: URL, which may not
// exceed 2 MB; this many bytes of HTML stay below that.
constexpr std::size_t kSetHtmlLimit = 1500000;

bool isLocalScheme(const QString& scheme)
{
    const QString lower = scheme.toLower();
    return lower == QLatin1String("file") || lower == QLatin1String("data") || lower == QLatin1String("qrc")
           || lower == QLatin1String("about") || lower == QLatin1String("blob");
}

class LocalOnlyInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        if (!isLocalScheme(info.requestUrl().scheme()))
            info.block(true);
    }
};

// Metadata pages are full of web links. A click on one opens the desktop's
// browser instead of replacing the metadata by a blocked page.
class LocalPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

    // Called when a link was handed to the desktop; the page then reports a
    // load that never took place.
    std::function<void()> linkHandedOver;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (type == NavigationTypeLinkClicked && !isLocalScheme(url.scheme())) {
            if (linkHandedOver)
                linkHandedOver();
            QDesktopServices::openUrl(url);
            return false;
        }
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }

    // A link meant for a new window (target="_blank") goes to the desktop
    // too: this page only passes the address on and goes away.
    QWebEnginePage* createWindow(WebWindowType) override
    {
        return new HandOverPage(profile(), this);
    }

private:
    class HandOverPage : public QWebEnginePage {
    public:
        using QWebEnginePage::QWebEnginePage;

    protected:
        bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override
        {
            QDesktopServices::openUrl(url);
            deleteLater();
            return false;
        }
    };
};

// Where to put the <base> element: after the opening tag of head (or of
// html), else at the very start.
std::size_t baseInsertionPoint(const std::string& html)
{
    const std::size_t scanned = std::min<std::size_t>(html.size(), 65536);
    std::string head(html, 0, scanned);
    for (char& ch : head)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    for (const std::string_view tag : {std::string_view("<head"), std::string_view("<html")}) {
        std::size_t at = 0;
        while ((at = head.find(tag, at)) != std::string::npos) {
            const std::size_t after = at + tag.size();
            if (after < head.size() && (head[after] == '>' || std::isspace(static_cast<unsigned char>(head[after])))) {
                const std::size_t close = head.find('>', after);
                if (close != std::string::npos)
                    return close + 1;
            }
            at = after;
        }
    }
    return 0;
}

// `path` made absolute against the current directory, bytes unchanged.
std::string absolutePath(const std::string& path)
{
    if (!path.empty() && path.front() == '/')
        return path;
    std::string current;
    if (char* cwd = ::getcwd(nullptr, 0)) {
        current = cwd;
        std::free(cwd);
    }
    if (current.empty() || current.back() != '/')
        current += '/';
    return current + path;
}

// The file: URL of an absolute path given as bytes. Every byte but the
// unreserved ones is percent-encoded, so a name that is not UTF-8 keeps its
// bytes all the way to the file system (QUrl::fromLocalFile would need the
// name as Unicode text, which such a name is not).
QUrl fileUrl(const std::string& path)
{
    return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"), QUrl::StrictMode);
}

} // namespace

BrowserPane::BrowserPane(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new QWebEngineView(this);
    auto* page = new LocalPage(localProfile(), m_view);
    page->linkHandedOver = [this] { m_ignoreNextFinish = true; };
    m_view->setPage(page);
    layout->addWidget(m_view);
    connect(m_view, &QWebEngineView::loadFinished, this, [this](bool ok) {
        if (m_ignoreNextFinish) {
            m_ignoreNextFinish = false;
            return;
        }
        emit rendered(ok && m_renderOk);
    });
}

BrowserPane::~BrowserPane() = default;

QWebEngineProfile* BrowserPane::localProfile()
{
    static QPointer<QWebEngineProfile> profile;
    if (!profile) {
        // A profile without a storage name keeps nothing on disk.
        profile = new QWebEngineProfile(QCoreApplication::instance());
        profile->setUrlRequestInterceptor(new LocalOnlyInterceptor(profile));
        QWebEngineSettings* settings = profile->settings();
        settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
        settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    }
    return profile;
}

void BrowserPane::navigate(const std::string& localPath)
{
    const std::string path = absolutePath(localPath);
    const std::string extension = LowerAscii(ExtractFileExt(path));
    if (extension == ".htm" || extension == ".html") {
        m_lastLocalPath = localPath;
        m_lastPath = DecodeFileName(localPath);
        m_ignoreNextFinish = false;
        m_renderOk = true;
        m_view->load(fileUrl(path));
        return;
    }
    showPage(localPath, TransformFile(path), path.substr(0, path.rfind('/') + 1));
}

void BrowserPane::showPage(const std::string& localPath, const RenderResult& page, const std::string& baseFolder)
{
    m_lastLocalPath = localPath;
    m_lastPath = DecodeFileName(localPath);
    m_ignoreNextFinish = false;
    m_renderOk = page.ok;
    showHtml(page.html, fileUrl(absolutePath(baseFolder)));
}

void BrowserPane::navigate(const QString& localPath)
{
    navigate(QFile::encodeName(localPath).toStdString());
    m_lastPath = localPath;
}

void BrowserPane::showHtml(const std::string& html, const QUrl& base)
{
    if (html.size() <= kSetHtmlLimit) {
        m_view->setHtml(QString::fromUtf8(html.data(), static_cast<qsizetype>(html.size())), base);
        return;
    }

    // Too large for setHtml: load it from a file of our own, with a <base>
    // so that relative references still resolve against the document's folder.
    if (!m_pageDir)
        m_pageDir = std::make_unique<QTemporaryDir>();
    const QString previous = m_pageFile;
    m_pageFile = m_pageDir->filePath(QStringLiteral("page-%1.html").arg(++m_pageCount));
    std::string page;
    page.reserve(html.size() + 200);
    page += "\xEF\xBB\xBF"; // the byte-order mark settles the encoding
    const std::size_t at = baseInsertionPoint(html);
    page.append(html, 0, at);
    // The encoded URL holds no quote; "&" is the one character to escape.
    page += "<base href=\"";
    page += base.toEncoded().replace("&", "&amp;").toStdString();
    page += "\">";
    page.append(html, at, std::string::npos);

    if (!previous.isEmpty())
        QFile::remove(previous);
    // Every write is checked, the close included: a page cut short by a
    // full disk must not be shown as if it were whole.
    QString why;
    if (!m_pageDir->isValid())
        why = m_pageDir->errorString();
    else if (const int error = WriteWholeFile(QFile::encodeName(m_pageFile).toStdString(), page))
        why = QString::fromStdString(WriteErrorText(error));
    if (!why.isEmpty()) {
        QFile::remove(m_pageFile);
        m_renderOk = false;
        const QString message = QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body><p>"
                                               "The page is too large to be shown directly and could not be "
                                               "written to a temporary file in %1: %2.</p></body></html>")
                                    .arg(QDir::toNativeSeparators(QFileInfo(m_pageFile).absolutePath()).toHtmlEscaped(),
                                         why.toHtmlEscaped());
        m_view->setHtml(message, base);
        return;
    }
    m_view->load(QUrl::fromLocalFile(m_pageFile));
}
