#pragma once
// The embedded browser of the metadata pages and of the log: shows a local
// file by path. XML documents are rendered by TransformFile (through the
// stylesheet their xml-stylesheet instruction names, or as a readable tree of
// the raw XML); HTML files are shown as they are. Pages never reach the
// network: every request whose scheme is not file, data, qrc, about or blob
// is blocked, so a page that asks for a web script or style still shows its
// own content.
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

struct RenderResult;

class QTemporaryDir;
class QWebEngineProfile;
class QWebEngineView;

class BrowserPane : public QWidget {
    Q_OBJECT
public:
    explicit BrowserPane(QWidget* parent = nullptr);
    ~BrowserPane() override;

    // Shows the file `localPath`, given as the bytes the file system names
    // it by: a name that is not UTF-8 (Latin-1 names of old servers) is
    // shown all the same. A page stays on screen until the next navigation;
    // `rendered` tells when this one has finished.
    void navigate(const std::string& localPath);
    void navigate(const char* localPath) { navigate(std::string(localPath)); }
    // The same for a path in Unicode, encoded as the file system names files.
    void navigate(const QString& localPath);
    // Shows `page`, rendered elsewhere (a worker) from the file `localPath`,
    // with relative references resolved against `baseFolder` (ends with '/').
    // Counts as a navigation to `localPath`.
    void showPage(const std::string& localPath, const RenderResult& page, const std::string& baseFolder);

    // The path of the latest navigate call ("" before the first), as text
    // (DecodeFileName).
    QString lastPath() const { return m_lastPath; }
    // The path of the latest navigate call as bytes.
    const std::string& lastLocalPath() const { return m_lastLocalPath; }
    // The browser view; made on first use (see viewReady).
    QWebEngineView* view();

    // The off-the-record profile that every pane shares, with the request
    // filter installed; created on first use, owned by the application.
    static QWebEngineProfile* localProfile();

signals:
    // The page of the latest navigate call is on screen: loaded, or for a
    // large page written into the loaded document, its first part laid out
    // (the rest follows in parts, see BrowserPane.cpp). False when it did not
    // load or when it is an error page (unusable document or stylesheet).
    void rendered(bool ok);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void makeView();
    // True when the view is there to show a page, made if need be; false
    // when the page is to wait for the pane's first paint: `show` then runs
    // once the view has been made after it.
    bool viewReady(std::function<void()> show);
    void showPending();
    void showHtml(const std::string& html, const QUrl& base);
    // A new document for `html` (a navigation).
    void setHtml(const std::string& html, const QUrl& base);
    void load(const QUrl& url);
    // `html` written into the loaded document, whose base is `base`; a new
    // document when it cannot be.
    void replaceContent(const std::string& html, const QUrl& base);
    // What makes the page anew when replacing it in place fails.
    struct Fallback {
        std::string html;
        QUrl base;
    };
    // The document's state after the page `shown` was written into it:
    // `rendered` once it is complete.
    void contentReplaced(quint64 shown, const QString& state, const std::shared_ptr<const Fallback>& fallback);

    QWebEngineView* m_view = nullptr; // made by makeView
    bool m_closing = false;           // the destructor runs: script answers are dropped
    bool m_painted = false;           // the pane has been painted once
    std::function<void()> m_pending;  // the page waiting for the first paint
    QString m_lastPath;
    std::string m_lastLocalPath;
    bool m_renderOk = true;
    bool m_ignoreNextFinish = false;
    // The page holds a loaded document that can take the next page in place,
    // made by setHtml with this base (empty for any other document).
    bool m_inPlace = false;
    QUrl m_documentBase;
    // A navigation was asked for and has not finished (the view may not tell
    // it is loading yet).
    bool m_navigationAsked = false;
    // Counts the pages asked for: the answer of a page replaced in place is
    // dropped when a newer page was asked for meanwhile.
    quint64 m_shown = 0;
    // Pages too large for setHtml are written here and loaded as files.
    std::unique_ptr<QTemporaryDir> m_pageDir;
    QString m_pageFile;
    unsigned m_pageCount = 0;
};
