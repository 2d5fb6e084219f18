// Finding data sets: the index of the connected server kept up to date in
// the background, searches off the window thread, and revealing a result
// in the tree.
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QStandardPaths>

#include "model/AtlasdeskOps.h"
#include "app/CommandGuard.h"
#include "support/FileOps.h"
#include "model/PathWalk.h"
#include "support/PathOps.h"
#include "app/SearchPane.h"
#include "model/SearchService.h"
#include "app/ServerTree.h"
#include "model/StoreIndexer.h"
#include "model/StoreTreeModel.h"
#include "model/XMLFile.h"
#include "app/dlgAtlasdeskU.h"

void TdlgAtlasdesk::connectSearch()
{
    m_indexer = new StoreIndexer(this);
    m_search = new SearchService(this);
    connect(m_indexer, &StoreIndexer::progress, this, &TdlgAtlasdesk::onIndexProgress);
    connect(m_indexer, &StoreIndexer::finished, this, &TdlgAtlasdesk::onIndexFinished);
    connect(m_search, &SearchService::answered, this, &TdlgAtlasdesk::onSearchAnswered);
    connect(searchPane, &SearchPane::queryChanged, this, [this] { runCommand(this, [this] { runSearch(); }); });
    connect(searchPane, &SearchPane::resultChosen, this, &TdlgAtlasdesk::onSearchResultChosen);
}

QString TdlgAtlasdesk::searchIndexFile(const std::string& root) const
{
    QString folder = searchIndexFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/search");
    // One file per server, named after the root's bytes.
    const std::string key = IncludeTrailingPathDelimiter(root);
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray(key.data(), qsizetype(key.size())), QCryptographicHash::Sha1).toHex();
    return folder + QLatin1Char('/') + QString::fromLatin1(hash) + QStringLiteral(".sqlite");
}

void TdlgAtlasdesk::startIndexing()
{
    // Called once the root is known to be a folder (asked off the window's
    // thread when connecting) or on Refresh.
    if (!indexOnConnect || ServerRoot.empty())
        return;
    m_indexer->start(IndexSettings::fromConfiguration(ServerRoot, searchIndexFile(ServerRoot)));
    m_indexOnTaskLine = !cancellableTaskRunning() && !isCatalogueTaskRunning();
    searchPane->setIndexStatus(QStringLiteral("Indexing..."));
}

void TdlgAtlasdesk::runSearch()
{
    SearchQuery query;
    if (ServerRoot.empty() || !searchPane->query(query)) {
        m_search->forget();
        searchPane->showTree();
        return;
    }
    for (int category : ShownCategories)
        query.categories << category;
    m_search->request(searchIndexFile(ServerRoot), query);
}

void TdlgAtlasdesk::onSearchAnswered(const SearchAnswer& answer)
{
    SearchQuery query;
    // The field may have been cleared while the search ran.
    if (!searchPane->query(query))
        return;
    searchPane->showAnswer(answer, m_indexer->isRunning());
}

void TdlgAtlasdesk::onSearchResultChosen(const SearchHit& hit)
{
    runCommand(this, [this, &hit] { revealDataSet(hit.path, hit.xmlPath); });
}

void TdlgAtlasdesk::revealDataSet(const std::string& path, const std::string& xmlPath)
{
    cancelReveal();
    m_reveal = new PathWalk(m_store, path, xmlPath, this);
    PathWalk* reveal = m_reveal;
    // Each folder on the way is opened as the user's click would open it;
    // the walk goes on once the model has all its rows.
    connect(reveal, &PathWalk::entering, this, [this](const QModelIndex& folder) { tvXMLTree->expand(folder); });
    connect(reveal, &PathWalk::found, this, [this](const QModelIndex& node) {
        cancelReveal();
        tvXMLTree->clearSelection();
        tvXMLTree->setCurrentIndex(node);
        tvXMLTree->selectionModel()->select(node, QItemSelectionModel::Select);
        tvXMLTree->scrollTo(node);
        tvXMLTree->setFocus();
    });
    connect(reveal, &PathWalk::notFound, this, [this, missing = DecodeFileName(path)] {
        cancelReveal();
        searchPane->setIndexStatus(QStringLiteral("%1 is not in the tree any more").arg(missing));
    });
    reveal->start();
}

void TdlgAtlasdesk::cancelReveal()
{
    if (PathWalk* reveal = std::exchange(m_reveal, nullptr)) {
        reveal->cancel();
        reveal->deleteLater();
    }
}

void TdlgAtlasdesk::mnuSearchClick()
{
    searchPane->focusField();
}

void TdlgAtlasdesk::onIndexProgress(int done, int total)
{
    const QString text = total == 0
                             ? QStringLiteral("Indexing: listing folders, %1 data sets found").arg(done)
                             : QStringLiteral("Indexing: %1 of %2 data sets").arg(done).arg(total);
    searchPane->setIndexStatus(text);
    // The indexer runs beside the user's commands: a walk or a catalogue run
    // takes the task line, and keeps it for its end caption.
    if (!m_indexOnTaskLine || cancellableTaskRunning() || isCatalogueTaskRunning())
        return;
    ggTask->setMaximum(total);
    if (total > 0)
        ggTask->setValue(done);
    lblTask->setText(text);
}

void TdlgAtlasdesk::onIndexFinished(const IndexReport& report)
{
    // Only a task line that shows the indexer's own progress is changed: the
    // end caption of a walk or a catalogue run that ended meanwhile stays.
    const bool ownsTaskLine = m_indexOnTaskLine && !cancellableTaskRunning() && !isCatalogueTaskRunning() &&
                              lblTask->text().startsWith(QStringLiteral("Indexing:"));
    m_indexOnTaskLine = false;
    if (ownsTaskLine) {
        ggTask->setMaximum(100);
        ggTask->setValue(0);
    }
    QStringList parts;
    if (!report.error.isEmpty())
        parts << QStringLiteral("Indexing failed: ") + report.error;
    else if (report.busy)
        parts << QStringLiteral("Another Atlasdesk window is bringing the search index of this server up to date");
    else if (!report.cancelled)
        parts << QStringLiteral("Indexed %1 data sets").arg(report.total);
    if (!report.notice.isEmpty())
        parts << report.notice;
    if (!report.unreadable.isEmpty())
        parts << QStringLiteral("%1 metadata files could not be read").arg(report.unreadable.size());
    const QString text = parts.join(QStringLiteral("; "));
    if (ownsTaskLine) {
        lblTask->setText(text);
        lblTask->setToolTip(report.unreadable.join(QLatin1Char('\n')));
    }
    searchPane->setIndexStatus(report.error.isEmpty() && !report.busy && report.notice.isEmpty() &&
                                       report.unreadable.isEmpty()
                                   ? QString()
                                   : text);
    searchPane->stSearch->setToolTip(report.unreadable.join(QLatin1Char('\n')));
    // What is shown was found in a growing index: search it again.
    if (searchPane->resultsShown())
        runSearch();
}
