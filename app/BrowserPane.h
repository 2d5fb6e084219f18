#pragma once
// The embedded browser of the metadata pages and of the log: shows a local
// file by path. XML documents are rendered by TransformFile (through the
// stylesheet their xml-stylesheet instruction names, or as a readable tree of
// the raw XML); HTML files are shown as they are. Pages never reach the
// network: every request whose scheme is not file, data, qrc, about or blob
// is blocked, so a page that asks for a web script or style still shows its
// own content.
#include <QString>
#include <QWidget>

#include <memory>
#include <string>

struct RenderResult;

class QTemporaryDir;
class QUrl;
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
    QWebEngineView* view() const { return m_view; }

    // The off-the-record profile that every pane shares, with the request
    // filter installed; created on first use, owned by the application.
    static QWebEngineProfile* localProfile();

signals:
    // The page of the latest navigate call finished loading; false when it
    // did not load or when it is an error page (unusable document or
    // stylesheet).
    void rendered(bool ok);

private:
    void showHtml(const std::string& html, const QUrl& base);

    QWebEngineView* m_view = nullptr;
    QString m_lastPath;
    std::string m_lastLocalPath;
    bool m_renderOk = true;
    bool m_ignoreNextFinish = false;
    // Pages too large for setHtml are written here and loaded as files.
    std::unique_ptr<QTemporaryDir> m_pageDir;
    QString m_pageFile;
    unsigned m_pageCount = 0;
};
