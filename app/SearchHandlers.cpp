// Finding data sets: the index of the connected server kept up to date in
// the background, searches off the window thread, and revealing a result
// in the tree.
#include <QCryptographicHash>
#include <QHash>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QStandardPaths>

#include "model/AtlasdeskOps.h"
#include "app/CommandGuard.h"
#include "catalogue/ServerSearch.h"
#include "support/Errors.h"
#include "support/FileOps.h"
#include "model/LocalSearch.h"
#include "model/PathWalk.h"
#include "support/PathOps.h"
#include "app/SearchPane.h"
#include "model/SearchService.h"
#include "app/ServerTree.h"
#include "model/StoreIndexer.h"
#include "model/StoreTreeModel.h"
#include "model/XMLFile.h"
#include "app/dlgAtlasdeskU.h"

namespace {

// The team search's passwords given while no keyring could keep them, by
// their name in the keyring: for this run of the program only, never
// written. Window thread only.
QHash<QString, QString>& passwordsOfThisRun()
{
    static QHash<QString, QString> passwords;
    return passwords;
}

// "1 data set", "2 data sets".
QString countOf(qsizetype n, const char* one, const char* many)
{
    return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

} // namespace

void TdlgAtlasdesk::connectSearch()
{
    m_indexer = new StoreIndexer(this);
    m_search = new SearchService(this);
    connect(m_indexer, &StoreIndexer::progress, this, &TdlgAtlasdesk::onIndexProgress);
    connect(m_indexer, &StoreIndexer::notice, this, &TdlgAtlasdesk::onIndexNotice);
    connect(m_indexer, &StoreIndexer::finished, this, &TdlgAtlasdesk::onIndexFinished);
    connect(m_search, &SearchService::answered, this, &TdlgAtlasdesk::onSearchAnswered);
    connect(searchPane, &SearchPane::queryChanged, this, [this] { runCommand(this, [this] { runSearch(); }); });
    connect(searchPane, &SearchPane::resultChosen, this, &TdlgAtlasdesk::onSearchResultChosen);
    connect(searchPane, &SearchPane::viewedChanged, this, &TdlgAtlasdesk::onSearchViewedChanged);
    connect(searchPane, &SearchPane::exported, this, &TdlgAtlasdesk::onResultsExported);
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

void TdlgAtlasdesk::readTeamSearch()
{
    m_teamSearch.reset();
    m_teamSearchWaiting = false;
    const quint64 read = ++m_teamSearchRead;
    m_teamHealth = std::make_shared<TeamSearch::Health>();
    m_localIndexStarted = false;
    TeamSearchSettings settings;
    try {
        settings = ReadTeamSearchSettings();
    } catch (const std::exception&) {
        return; // the configuration's own error is told where it is loaded
    }
    if (!settings.configured())
        return;
    m_teamSearchKey.clear();
    // Scripts may give the password in the environment.
    if (qEnvironmentVariableIsSet("ATLASDESK_SEARCH_PASSWORD")) {
        settings.server.password = qEnvironmentVariable("ATLASDESK_SEARCH_PASSWORD").toStdString();
        m_teamSearch = std::move(settings);
        return;
    }
    const ChartroomSettings& server = settings.server;
    m_teamSearchKey = keyring::accountKey(server.host, server.port, server.database, server.user);
    if (const auto kept = passwordsOfThisRun().constFind(m_teamSearchKey); kept != passwordsOfThisRun().constEnd()) {
        settings.server.password = kept->toStdString();
        m_teamSearch = std::move(settings);
        return;
    }
    // Until the keyring answers (at once, as a rule) the window neither asks
    // the team index nor reads the share for an index of its own.
    m_teamSearchWaiting = true;
    keyring::read(m_teamSearchKey, this, [this, read, settings](const keyring::ReadResult& result) {
        if (read != m_teamSearchRead)
            return; // another server was connected meanwhile
        m_teamSearchWaiting = false;
        runCommand(this, [&] { useTeamSearchPassword(settings, result); });
    });
}

void TdlgAtlasdesk::useTeamSearchPassword(TeamSearchSettings settings, const keyring::ReadResult& read)
{
    std::optional<QString> password;
    QString note;
    if (read.kind == keyring::ReadResult::Found) {
        password = read.password;
    } else {
        // Asked once: kept in the keyring, or without one for this run only.
        const bool keyringThere = read.kind == keyring::ReadResult::NotFound;
        password = askSearchPassword(settings.server, keyringThere);
        if (!keyringThere)
            note = QStringLiteral("No desktop keyring (%1): the team index's password is kept for this session only")
                       .arg(read.error);
        if (!password)
            note = QStringLiteral("The team index is not used: no password was given");
        else if (keyringThere)
            keyring::write(m_teamSearchKey, *password, this, [this](const QString& error) {
                if (!error.isEmpty())
                    searchPane->setIndexStatus(
                        QStringLiteral("The team index's password could not be kept in the desktop keyring: ") + error);
            });
        else
            passwordsOfThisRun().insert(m_teamSearchKey, *password);
    }
    if (!note.isEmpty())
        searchPane->setIndexStatus(note);
    if (password) {
        settings.server.password = password->toStdString();
        m_teamSearch = std::move(settings);
    }
    // Without the team index the share is indexed here, once its root is
    // known to be a folder (or when the settings ask for it).
    if (!m_rootProbePending && m_store->rootIndex().isValid())
        startIndexing();
    if (searchPane->resultsShown())
        runSearch();
}

std::optional<QString> TdlgAtlasdesk::askSearchPassword(const ChartroomSettings& server, bool keyring)
{
    const QString text =
        QStringLiteral("Password of %1 on %2, the account that searches the team's index (%3):")
            .arg(QString::fromStdString(server.user), QString::fromStdString(server.host),
                 keyring ? QStringLiteral("it is kept in the desktop keyring")
                         : QStringLiteral("no desktop keyring: it is kept for this session only"));
    if (searchPasswordPrompt)
        return searchPasswordPrompt(text);
    bool given = false;
    const QString answer =
        QInputDialog::getText(this, QStringLiteral("Team search"), text, QLineEdit::Password, QString(), &given);
    if (!given)
        return std::nullopt;
    return answer;
}

void TdlgAtlasdesk::startIndexing(bool thoroughly)
{
    // Called once the root is known to be a folder (asked off the window's
    // thread when connecting), on Refresh, when a search met damage and when
    // the team index fails.
    if (!indexOnConnect || ServerRoot.empty())
        return;
    // While the team index answers, the share is not read for an index of
    // this window's own, unless the settings ask for it.
    if (m_teamSearchWaiting ||
        (m_teamSearch && !m_teamSearch->indexLocally && !m_localIndexStarted && !m_teamHealth->isDown()))
        return;
    m_localIndexStarted = true;
    IndexSettings settings = IndexSettings::fromConfiguration(ServerRoot, searchIndexFile(ServerRoot));
    settings.checkThoroughly = thoroughly;
    m_indexer->start(settings);
    m_indexOnTaskLine = !cancellableTaskRunning() && !isCatalogueTaskRunning();
    // Taken at once, so that an update that fails before its first progress
    // step still ends there with why, not under the last update's caption.
    if (m_indexOnTaskLine)
        lblTask->setText(QStringLiteral("Indexing: starting"));
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
    auto local = std::make_shared<LocalSearch>(searchIndexFile(ServerRoot));
    if (!m_teamSearch) {
        m_search->request(std::move(local), query);
        return;
    }
    m_search->request(std::make_shared<TeamSearch>(std::make_shared<ServerSearch>(m_teamSearch->server, ServerRoot),
                                                   std::move(local), m_teamHealth),
                      query);
}

void TdlgAtlasdesk::onSearchAnswered(const SearchAnswer& answer)
{
    SearchQuery query;
    // The field may have been cleared while the search ran.
    if (!searchPane->query(query))
        return;
    const bool local = !m_teamSearch || TeamSearch::answeredLocally(answer);
    // The team index failed: this window's own index answers from now on
    // until it is back, so it is brought up to date.
    if (local && m_teamSearch && !m_localIndexStarted)
        startIndexing();
    // A password the server refuses is not kept: the next connection asks.
    if (local && m_teamSearch && !m_teamSearchKey.isEmpty() && answer.source.contains(QStringLiteral("Access denied"))) {
        passwordsOfThisRun().remove(m_teamSearchKey);
        keyring::forget(m_teamSearchKey, this, [](const QString&) {});
        m_teamSearchKey.clear();
        searchPane->setIndexStatus(
            QStringLiteral("The team index refused the password: it is asked again at the next connection"));
    }
    SearchAnswer shown = answer;
    const QString server = serverName(ServerRoot);
    switch (answer.fault) {
    case IndexFault::None:
        m_damageHandled = false;
        break;
    case IndexFault::Damaged:
        // The index is a cache: it is checked whole and built again.
        if (!m_damageHandled) {
            m_damageHandled = true;
            startIndexing(true);
            shown.error = QStringLiteral("The search index of %1 was damaged and is being rebuilt").arg(server);
        } else {
            shown.error = QStringLiteral("The search index of %1 is damaged (%2)").arg(server, answer.error);
        }
        break;
    case IndexFault::Locked:
        shown.error = QStringLiteral("The search index of %1 is in use by another program: search again in a moment")
                          .arg(server);
        break;
    default:
        shown.error = QStringLiteral("Search failed: the search index of %1 cannot be read (%2)").arg(server, answer.error);
        break;
    }
    searchPane->showAnswer(shown, local && m_indexer->isUpdating());
}

void TdlgAtlasdesk::onSearchResultChosen(const SearchHit& hit)
{
    runCommand(this, [this, &hit] { revealDataSet(hit.path, hit.xmlPath); });
}

void TdlgAtlasdesk::onSearchViewedChanged()
{
    runCommand(this, [this] { redrawView(PageControl1->currentWidget()); });
}

void TdlgAtlasdesk::onResultsExported(const QString& file, int count, const QString& error)
{
    runCommand(this, [&] {
        if (!error.isEmpty())
            throw EInOutError(QStringLiteral("Cannot export the list to %1: %2").arg(file, error).toStdString());
        lblTask->setText(QStringLiteral("Exported %1 to %2").arg(countOf(count, "data set", "data sets"), file));
    });
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
    const QString text = total == 0 ? QStringLiteral("Indexing: listing folders, ") + countOf(done, "data set found", "data sets found")
                                    : QStringLiteral("Indexing: %1 of ").arg(done) + countOf(total, "data set", "data sets");
    const QString& notice = m_indexer->currentNotice();
    searchPane->setIndexStatus(notice.isEmpty() ? text : notice + QStringLiteral(" \u2014 ") + text);
    // The indexer runs beside the user's commands: a walk or a catalogue run
    // takes the task line, and keeps it for its end caption.
    if (!m_indexOnTaskLine || cancellableTaskRunning() || isCatalogueTaskRunning())
        return;
    ggTask->setMaximum(total);
    if (total > 0)
        ggTask->setValue(done);
    lblTask->setText(text);
}

void TdlgAtlasdesk::onIndexNotice(const QString& text)
{
    searchPane->setIndexStatus(text);
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
        parts << report.error;
    else if (!report.cancelled)
        parts << QStringLiteral("Indexed ") + countOf(report.total, "data set", "data sets");
    if (!report.notice.isEmpty())
        parts << report.notice;
    if (!report.unreadable.isEmpty())
        parts << countOf(report.unreadable.size(), "metadata file could not be read", "metadata files could not be read");
    if (!report.notRead.isEmpty())
        parts << countOf(report.notRead.size(), "document in a format not read", "documents in a format not read");
    if (!report.notInDegrees.isEmpty())
        parts << countOf(report.notInDegrees.size(), "box not in degrees", "boxes not in degrees");
    // The tooltip lists them.
    QStringList details;
    if (!report.unreadable.isEmpty())
        details << QStringLiteral("Could not be read:") << report.unreadable;
    if (!report.notRead.isEmpty())
        details << QStringLiteral("In a format not read:") << report.notRead;
    if (!report.notInDegrees.isEmpty())
        details << QStringLiteral("Box not in degrees:") << report.notInDegrees;
    const QString text = parts.join(QStringLiteral("; "));
    if (ownsTaskLine) {
        lblTask->setText(text);
        lblTask->setToolTip(details.join(QLatin1Char('\n')));
    }
    searchPane->setIndexStatus(report.error.isEmpty() && report.notice.isEmpty() && details.isEmpty()
                                   ? QString()
                                   : text);
    searchPane->stSearch->setToolTip(details.join(QLatin1Char('\n')));
    // What is shown was found in an index that was growing, being rebuilt
    // or completed by another window: it is searched again.
    if (searchPane->resultsShown())
        runSearch();
    refreshStartPage();
}
