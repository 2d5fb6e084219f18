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
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
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
// exceed 2 MB; this many bytes of HTML stay below that. Pages up to this size
// also replace the content of a loaded page in place.
constexpr std::size_t kSetHtmlLimit = 1500000;

// Replaces the content of the page's document by the text passed to it
// (a JSON string) and lays it out. Run in a world of its own, so that what a
// page's own scripts change (document.write replaced, say) cannot stop it.
//
// A large page is written in parts, as a page coming from the network is
// parsed: the head and the first part of the body at once, so that the first
// screen is laid out and painted without waiting for the rest; the rest in
// pieces from timers, each one a short task, until the document is closed
// and complete. The parser takes a tag or a name cut in two as it would from
// the network; a character is never cut (the halves of a surrogate pair stay
// together). A newer page (or a document closed by its own script) stops
// the pieces of an older one.
//
// The answer is "partial" when the rest is still to come, else the
// document's readyState ("complete" once what the page refers to has loaded
// too), or "" when the document did not take the text.
const char* const kReplaceContent =
    "(function (text, first, piece) {"
    " var page = window.__atlasdeskPage = {};"
    " var cut = function (at) {"
    "  if (at >= text.length) return text.length;"
    "  var unit = text.charCodeAt(at - 1);"
    "  return unit >= 0xD800 && unit <= 0xDBFF ? at + 1 : at;"
    " };"
    " var body = text.search(/<body[\\s>]/i);"
    " var at = cut(Math.max(body, 0) + first);"
    " document.open(); document.write(text.slice(0, at));"
    " var more = function () {"
    "  if (window.__atlasdeskPage !== page || document.readyState !== 'loading') return;"
    "  var next = cut(at + piece);"
    "  document.write(text.slice(at, next)); at = next;"
    "  if (at < text.length) setTimeout(more, 0); else document.close();"
    " };"
    " if (at < text.length) setTimeout(more, 0); else document.close();"
    " window.scrollTo(0, 0);"
    " return document.documentElement !== null && document.documentElement.offsetHeight >= 0"
    "  ? (at < text.length ? 'partial' : document.readyState) : '';"
    "})(";
// What follows the page's text in the call above: the length of the first
// part of the body and of the later pieces.
const char* const kReplaceContentEnd = ", 16384, 32768)";

// `text` (UTF-8) as a JavaScript string literal, in UTF-8, made in one pass
// on the window's thread (pages run to hundreds of kilobytes). Bytes that are
// not UTF-8 are kept; the conversion of the whole script to UTF-16 replaces
// them as it would in the page's text.
void appendStringLiteral(std::string& out, std::string_view text)
{
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    std::size_t plain = 0; // start of the run of bytes copied as they are
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char ch = static_cast<unsigned char>(text[i]);
        if (ch >= 0x20 && ch != '"' && ch != '\\')
            continue;
        out.append(text, plain, i - plain);
        plain = i + 1;
        switch (ch) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            out += "\\u00";
            out += kHex[ch >> 4];
            out += kHex[ch & 0xF];
        }
    }
    out.append(text, plain, std::string_view::npos);
    out += '"';
}

// How long to wait before asking again whether a page replaced in place has
// loaded what it refers to.
constexpr int kReadyPollMs = 4;

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
}

BrowserPane::~BrowserPane()
{
    // The engine answers the scripts still pending on a page as the page is
    // destroyed. The view goes here, while the pane is whole, and those
    // answers see that it is going: left to ~QWidget, they would run on a
    // pane whose members are already gone.
    m_closing = true;
    delete m_view;
    m_view = nullptr;
}

QWebEngineView* BrowserPane::view()
{
    makeView();
    return m_view;
}

void BrowserPane::makeView()
{
    if (m_view)
        return;
    m_view = new QWebEngineView(this);
    auto* page = new LocalPage(localProfile(), m_view);
    page->linkHandedOver = [this] { m_ignoreNextFinish = true; };
    m_view->setPage(page);
    static_cast<QVBoxLayout*>(layout())->addWidget(m_view);
    // A page the user went to (a local link) is no page of ours.
    connect(m_view, &QWebEngineView::loadStarted, this, [this] {
        if (!m_navigationAsked)
            m_documentBase.clear();
    });
    connect(m_view, &QWebEngineView::loadFinished, this, [this](bool ok) {
        m_navigationAsked = false;
        m_inPlace = ok;
        if (m_ignoreNextFinish) {
            m_ignoreNextFinish = false;
            return;
        }
        emit rendered(ok && m_renderOk);
    });
    m_view->show();
}

bool BrowserPane::viewReady(std::function<void()> show)
{
    if (m_view)
        return true;
    // The first view starts the page renderer, which holds the window's
    // thread for a good part of a second: a pane about to be painted for the
    // first time lets its window appear first.
    if (m_painted || !isVisible()) {
        makeView();
        return true;
    }
    // The newest page is the one to show; a window that is never painted
    // (minimised at start) gets it after a second all the same.
    if (!std::exchange(m_pending, std::move(show)))
        QTimer::singleShot(1000, this, &BrowserPane::showPending);
    return false;
}

void BrowserPane::showPending()
{
    if (std::function<void()> show = std::exchange(m_pending, {})) {
        makeView();
        show();
    }
}

void BrowserPane::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (!std::exchange(m_painted, true) && m_pending)
        QTimer::singleShot(0, this, &BrowserPane::showPending);
}

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
        const QUrl url = fileUrl(path);
        if (viewReady([this, url] { load(url); }))
            load(url);
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

void BrowserPane::load(const QUrl& url)
{
    ++m_shown;
    m_navigationAsked = true;
    m_documentBase.clear();
    m_view->load(url);
}

void BrowserPane::showHtml(const std::string& html, const QUrl& base)
{
    if (!viewReady([this, html, base] { showHtml(html, base); }))
        return;
    if (html.size() <= kSetHtmlLimit) {
        // A page of ours that has loaded takes the next one with the same
        // base in place: no new document, no navigation, which costs far
        // more than the page. (Its address stays, so a page with another
        // base, whose links within itself name that base, gets a document
        // of its own.)
        if (m_inPlace && !m_navigationAsked && base == m_documentBase && !m_view->page()->isLoading())
            return replaceContent(html, base);
        return setHtml(html, base);
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
        setHtml(message.toStdString(), base);
        return;
    }
    load(QUrl::fromLocalFile(m_pageFile));
}

void BrowserPane::setHtml(const std::string& html, const QUrl& base)
{
    ++m_shown;
    m_navigationAsked = true;
    m_documentBase = base;
    m_view->setHtml(QString::fromUtf8(html.data(), static_cast<qsizetype>(html.size())), base);
}

void BrowserPane::replaceContent(const std::string& html, const QUrl& base)
{
    const quint64 shown = ++m_shown;
    std::string call;
    call.reserve(html.size() + html.size() / 16 + 2048);
    call += kReplaceContent;
    appendStringLiteral(call, html);
    call += kReplaceContentEnd;
    const QString script = QString::fromUtf8(call.data(), static_cast<qsizetype>(call.size()));
    auto fallback = std::make_shared<const Fallback>(Fallback{html, base});
    m_view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                                  [self = QPointer<BrowserPane>(this), shown, fallback](const QVariant& state) {
                                      if (self && !self->m_closing)
                                          self->contentReplaced(shown, state.toString(), fallback);
                                  });
}

void BrowserPane::contentReplaced(quint64 shown, const QString& state, const std::shared_ptr<const Fallback>& fallback)
{
    if (shown != m_shown)
        return; // a newer page is on its way
    // A page written in parts is on screen once its first part is.
    if (state == QLatin1String("complete") || state == QLatin1String("partial")) {
        emit rendered(m_renderOk);
        return;
    }
    if (state == QLatin1String("loading") || state == QLatin1String("interactive")) {
        // A script or a picture of the page is still loading: asked again
        // shortly, as a page loaded anew is done once they are.
        QTimer::singleShot(kReadyPollMs, this, [this, shown, fallback] {
            if (shown != m_shown)
                return;
            m_view->page()->runJavaScript(QStringLiteral("document.readyState"), QWebEngineScript::ApplicationWorld,
                                          [self = QPointer<BrowserPane>(this), shown, fallback](const QVariant& now) {
                                              if (self && !self->m_closing)
                                                  self->contentReplaced(shown, now.toString(), fallback);
                                          });
        });
        return;
    }
    // The document would not take it: a page of its own, as the first.
    m_inPlace = false;
    setHtml(fallback->html, fallback->base);
}
