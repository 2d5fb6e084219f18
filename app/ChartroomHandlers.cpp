// The catalogue commands: the "Chartroom" page, "&Add to chartroom",
// "&Ignore in chartroom" and "&Unignore in chartroom", and the HTML log.
#include <QButtonGroup>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QProgressBar>
#include <QLineEdit>
#include <QSqlQueryModel>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdio>

#include "model/AtlasdeskOps.h"
#include "app/BrowserPane.h"
#include "app/CommandGuard.h"
#include "support/Errors.h"
#include "support/PathOps.h"
#include "catalogue/UploadRun.h"
#include "app/ServerTree.h"
#include "model/XMLFile.h"
#include "app/dlgAtlasdeskU.h"
#include "catalogue/dmAtlasdeskU.h"

void TdlgAtlasdesk::buildChartroomPage()
{
    auto* v = new QVBoxLayout(tabChartroom);
    dbgChartroom = new QTableView(tabChartroom);
    dbgChartroom->setObjectName(QStringLiteral("dbgChartroom"));
    dbgChartroom->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dbgChartroom->setShowGrid(true);
    dbgChartroom->verticalHeader()->setVisible(true);
    dbgChartroom->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    if (m_dataModule)
        dbgChartroom->setModel(m_dataModule->tblChartroom());
    v->addWidget(dbgChartroom, 1);
    auto* row = new QHBoxLayout();
    row->addStretch(1);
    btDisconnect = new QToolButton(tabChartroom);
    btDisconnect->setObjectName(QStringLiteral("btDisconnect"));
    btDisconnect->setText(QStringLiteral("&Disconnect"));
    btConnectToChartroom = new QToolButton(tabChartroom);
    btConnectToChartroom->setObjectName(QStringLiteral("btConnectToChartroom"));
    btConnectToChartroom->setText(QStringLiteral("&Connect"));
    for (QToolButton* b : {btDisconnect, btConnectToChartroom}) {
        b->setCheckable(true);
        b->setAutoRaise(false);
        own(b, 0);
        row->addWidget(b);
    }
    m_chartroomButtons = new QButtonGroup(this);
    m_chartroomButtons->setExclusive(true);
    m_chartroomButtons->addButton(btDisconnect, 1);
    m_chartroomButtons->addButton(btConnectToChartroom, 1);
    btDisconnect->setChecked(true);
    // Both buttons run the handler after the group has updated their states.
    connect(btDisconnect, &QToolButton::clicked, this, &TdlgAtlasdesk::OnbtConnectToChartroomClick);
    connect(btConnectToChartroom, &QToolButton::clicked, this,
            &TdlgAtlasdesk::OnbtConnectToChartroomClick);
    v->addLayout(row);

    if (m_dataModule) {
        m_dataModule->passwordPrompt = [this]() -> std::optional<std::string> {
            bool ok = false;
            const QString password = QInputDialog::getText(
                this, QStringLiteral("Chartroom"), QStringLiteral("Password of the catalogue account:"),
                QLineEdit::Password, QString(), &ok);
            if (!ok)
                return std::nullopt;
            return password.toStdString();
        };
    }
}

void TdlgAtlasdesk::OnbtConnectToChartroomClick()
{
    runCommand(this, [this] {
        const bool connect = btConnectToChartroom->isChecked();
        if (connect)
            m_dataModule->open();
        else
            m_dataModule->close();
        m_dataModule->setTableActive(connect);
        if (connect) {
            for (int i = 0; i < static_cast<int>(TdmAtlasdesk::Fields.size()); ++i) {
                const int width = TdmAtlasdesk::Fields[static_cast<size_t>(i)].displayWidth;
                if (width > 0)
                    dbgChartroom->setColumnWidth(
                        i, dbgChartroom->fontMetrics().horizontalAdvance(QLatin1Char('0')) * width + 8);
            }
        }
    });
}

void TdlgAtlasdesk::prepareLog()
{
    // One log file per day under the configured Logs folder; a command
    // creates it (and the folder) when it starts, so the lines never go
    // to a file that does not exist.
    QDir().mkpath(QString::fromStdString(LogsDir));
    const std::string file = DailyLogFile(LogsDir);
    createLogFile(file);
    Log.LogFile = file;
    Log.Browser = [this](const std::string& path) { wbOutput->navigate(QString::fromStdString(path)); };
    Log.AutoShow = true;
}

void TdlgAtlasdesk::UploadSelection()
{
    if (m_catalogueTask)
        throw Exception("A catalogue command is still running; wait for it or cancel it first");
    prepareLog();
    // The run gets values only: the user may refresh or close the tree
    // while it works.
    std::vector<tXMLFile*> selection;
    for (const QModelIndex& node : tvXMLTree->selectionOrder())
        selection.push_back(tvXMLTree->file(node));
    std::vector<DataSetEntry> datasets = SnapshotOf(selection);
    // The password prompt, if any, comes now, on this thread.
    ChartroomSettings login = m_dataModule->loginSettings();
    startCatalogueTask(
        [datasets = std::move(datasets), login = std::move(login), root = ServerRoot](
            CatalogueHost& host, tHTMLLog& log, RunControl& control) {
            UploadDataSets(login, datasets, root, log, host, &control);
        },
        true);
}

void TdlgAtlasdesk::SetIgnoreFlags(bool ignore)
{
    if (m_catalogueTask)
        throw Exception("A catalogue command is still running; wait for it or cancel it first");
    prepareLog();
    startCatalogueTask(
        [ignore, datasets = SnapshotOf(SelectedFiles)](CatalogueHost& host, tHTMLLog& log, RunControl& control) {
            SetIgnoreFlagsOn(ignore, datasets, log, host, &control);
        },
        false);
}

void TdlgAtlasdesk::startCatalogueTask(CatalogueTask::Work work, bool closesCatalogue)
{
    auto* task = new CatalogueTask(std::move(work), Log, this);
    task->control().beforeDataSet = catalogueStepHook;
    connect(task, &CatalogueTask::taskStarted, this,
            [this](const QString& caption, int maximum) { StartTask(caption.toStdString(), maximum); });
    connect(task, &CatalogueTask::progressChanged, ggTask, &QProgressBar::setValue);
    connect(task, &CatalogueTask::maximumChanged, this, [this](int maximum) { setProgressMaximum(maximum); });
    connect(task, &CatalogueTask::captionChanged, lblTask, &QLabel::setText);
    connect(task, &CatalogueTask::busyChanged, this, [this](bool busy) { busyCursor(busy); });
    connect(task, &CatalogueTask::readyShown, this, [this] { ShowReady(); });
    connect(task, &CatalogueTask::logShown, this, [this](const QString& path) {
        if (Log.Browser)
            Log.Browser(path.toStdString());
    });
    connect(task, &CatalogueTask::finished, this, [this, task, closesCatalogue](const QString& error) {
        m_catalogueTask = nullptr;
        endCancellableTask();
        task->deleteLater();
        // The catalogue page shows a closed table after an upload, as the
        // run's own connection is closed too.
        if (closesCatalogue)
            runCommand(this, [this] { m_dataModule->close(); });
        if (!error.isEmpty())
            showErrorBox(this, error);
        emit catalogueTaskFinished();
    });
    m_catalogueTask = task;
    beginCancellableTask([task] { task->cancel(); });
    task->start();
}

void TdlgAtlasdesk::stopCatalogueTask()
{
    if (!m_catalogueTask)
        return;
    // Nothing the run still reports may reach a window that is going away.
    disconnect(m_catalogueTask, nullptr, nullptr, nullptr);
    delete m_catalogueTask; // cancels and waits
    m_catalogueTask = nullptr;
}

void TdlgAtlasdesk::mnuAddToChartroomClick()
{
    runCommand(this, [this] { UploadSelection(); });
}

void TdlgAtlasdesk::mnuIgnoreInChartroomClick()
{
    runCommand(this, [this] { SetIgnoreFlags(true); });
}

void TdlgAtlasdesk::mnuUnignoreInChartroomClick()
{
    runCommand(this, [this] { SetIgnoreFlags(false); });
}
