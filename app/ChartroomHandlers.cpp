// The catalogue commands: the "Chartroom" page, "&Add to chartroom",
// "&Ignore in chartroom" and "&Unignore in chartroom", and the HTML log.
#include <QButtonGroup>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QSqlQueryModel>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdio>

#include "AtlasdeskOps.h"
#include "BrowserPane.h"
#include "CommandGuard.h"
#include "Errors.h"
#include "PathOps.h"
#include "UploadRun.h"
#include "ServerTree.h"
#include "XMLFile.h"
#include "dlgAtlasdeskU.h"
#include "dmAtlasdeskU.h"

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
    const std::string file =
        LogsDir + "Atlasdesk-" + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toStdString() + ".html";
    createLogFile(file);
    Log.LogFile = file;
    Log.Browser = [this](const std::string& path) { wbOutput->navigate(QString::fromStdString(path)); };
    Log.AutoShow = true;
}

void TdlgAtlasdesk::UploadSelection()
{
    prepareLog();
    std::vector<tXMLFile*> selection;
    for (TreeNode* node : tvXMLTree->selectionOrder())
        selection.push_back(node->file());
    ::UploadSelection(*m_dataModule, selection, ServerRoot, Log, *this);
}

void TdlgAtlasdesk::SetIgnoreFlags(bool ignore)
{
    prepareLog();
    ::SetIgnoreFlags(ignore, SelectedFiles, Log, *this);
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
