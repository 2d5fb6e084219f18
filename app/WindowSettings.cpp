// What the window remembers per user between runs, and where it starts.
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QSettings>
#include <QSplitter>
#include <QSplitterHandle>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <cstdlib>

#include "support/FileOps.h"
#include "support/PathOps.h"
#include "app/ServerTree.h"
#include "app/dlgAtlasdeskU.h"

namespace {

// How long after a change the memory is written: changes in a row (a
// splitter dragged, the window resized) are written once.
constexpr int kSettingsDelayMs = 500;

// The user's settings file of the program, in the folder the platform
// gives per-user configuration (~/.config/Atlasdesk/AtlasdeskView.ini).
QSettings userSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Atlasdesk"),
                     QStringLiteral("AtlasdeskView"));
}

QSplitter* splitterOf(QWidget* handle)
{
    auto* h = qobject_cast<QSplitterHandle*>(handle);
    return h ? h->splitter() : nullptr;
}

// `folder` made absolute against the current directory, bytes unchanged.
std::string absoluteFolder(const std::string& folder)
{
    if (folder.empty() || folder.front() == '/')
        return folder;
    std::string current;
    if (char* cwd = ::getcwd(nullptr, 0)) {
        current = cwd;
        std::free(cwd);
    }
    return IncludeTrailingPathDelimiter(current) + folder;
}

} // namespace

void TdlgAtlasdesk::SaveSettings()
{
    QSettings settings = userSettings();
    settings.beginGroup(QStringLiteral("window"));
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("state"), saveState());
    if (QSplitter* s = splitterOf(Splitter1))
        settings.setValue(QStringLiteral("mainSplitter"), s->saveState());
    if (QSplitter* s = splitterOf(Splitter2))
        settings.setValue(QStringLiteral("rightSplitter"), s->saveState());
    if (QWidget* page = PageControl1->currentWidget())
        settings.setValue(QStringLiteral("page"), page->objectName());
    settings.setValue(QStringLiteral("format"), cbXslFormat->currentText());
    settings.endGroup();
    settings.beginGroup(QStringLiteral("categories"));
    for (QCheckBox* box : {ckVector, ckRaster, ckGIS, ckTable, ckDocument, ckExecutable})
        settings.setValue(box->objectName(), box->isChecked());
    settings.endGroup();
    // The root as bytes: a name that is not UTF-8 comes back unchanged.
    settings.setValue(QStringLiteral("server/last"), QByteArray::fromStdString(ServerRoot));
}

void TdlgAtlasdesk::RestoreSettings()
{
    QSettings settings = userSettings();
    settings.beginGroup(QStringLiteral("window"));
    if (settings.contains(QStringLiteral("geometry")))
        restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
    if (settings.contains(QStringLiteral("state")))
        restoreState(settings.value(QStringLiteral("state")).toByteArray());
    if (QSplitter* s = splitterOf(Splitter1); s && settings.contains(QStringLiteral("mainSplitter")))
        s->restoreState(settings.value(QStringLiteral("mainSplitter")).toByteArray());
    if (QSplitter* s = splitterOf(Splitter2); s && settings.contains(QStringLiteral("rightSplitter")))
        s->restoreState(settings.value(QStringLiteral("rightSplitter")).toByteArray());
    const int format = cbXslFormat->findText(settings.value(QStringLiteral("format")).toString());
    if (format >= 0)
        cbXslFormat->setCurrentIndex(format);
    // Only a page that has a tab in this edition comes back.
    if (auto* page = PageControl1->findChild<QWidget*>(settings.value(QStringLiteral("page")).toString())) {
        const int index = PageControl1->indexOf(page);
        if (index >= 0 && PageControl1->isTabVisible(index))
            PageControl1->setCurrentIndex(index);
    }
    settings.endGroup();
    // Each box's own change updates the filter, as a click would.
    settings.beginGroup(QStringLiteral("categories"));
    for (QCheckBox* box : {ckVector, ckRaster, ckGIS, ckTable, ckDocument, ckExecutable})
        if (settings.contains(box->objectName()))
            box->setChecked(settings.value(box->objectName()).toBool());
    settings.endGroup();

    if (m_settingsTimer)
        return;
    // From now on a change is written soon after it is made, so that it
    // survives an end without a close (a crash, a power cut, SIGKILL).
    m_settingsTimer = new QTimer(this);
    m_settingsTimer->setSingleShot(true);
    m_settingsTimer->setInterval(kSettingsDelayMs);
    connect(m_settingsTimer, &QTimer::timeout, this, &TdlgAtlasdesk::SaveSettings);
    for (QCheckBox* box : {ckVector, ckRaster, ckGIS, ckTable, ckDocument, ckExecutable})
        connect(box, &QCheckBox::toggled, this, &TdlgAtlasdesk::settingsChanged);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TdlgAtlasdesk::settingsChanged);
    connect(cbXslFormat, &QComboBox::currentIndexChanged, this, &TdlgAtlasdesk::settingsChanged);
    // The caption names the server: it changes when another one is connected.
    connect(this, &QWidget::windowTitleChanged, this, &TdlgAtlasdesk::settingsChanged);
    for (QWidget* handle : {Splitter1, Splitter2})
        if (QSplitter* s = splitterOf(handle))
            connect(s, &QSplitter::splitterMoved, this, &TdlgAtlasdesk::settingsChanged);
}

void TdlgAtlasdesk::settingsChanged()
{
    // Before RestoreSettings there is no timer: a window that has not read
    // the memory does not write it.
    if (m_settingsTimer)
        m_settingsTimer->start();
}

bool TdlgAtlasdesk::settingsPending() const
{
    return m_settingsTimer && m_settingsTimer->isActive();
}

std::string TdlgAtlasdesk::StartFolder(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        if (argv[i] && argv[i][0] != '-')
            return argv[i];
    return {};
}

void TdlgAtlasdesk::StartOn(const std::string& folder)
{
    std::string root = absoluteFolder(folder);
    if (root.empty())
        root = userSettings().value(QStringLiteral("server/last")).toByteArray().toStdString();
    if (root.empty())
        return;
    // Never an error box at start: the tree stays empty and the status line
    // says why.
    const QString shown = DecodeFileName(root);
    try {
        // Whether the server is there is asked off the window's thread (a
        // share that hangs must not hold the start): one that is not leaves
        // an empty tree and a message.
        ConnectToServer(root);
        m_rootProbeAtStart = m_rootProbePending;
    } catch (const std::exception& e) {
        ClearTree();
        showStatusMessage(QStringLiteral("The server %1 could not be opened: %2").arg(shown, QString::fromUtf8(e.what())));
    }
}

void TdlgAtlasdesk::showStatusMessage(const QString& message)
{
    QStatusBar* bar = statusBar();
    if (bar->objectName().isEmpty()) {
        // Shown only while it has something to say; connecting to a server
        // (which names it in the caption) clears it.
        bar->setObjectName(QStringLiteral("sbMessages"));
        connect(bar, &QStatusBar::messageChanged, bar, [bar](const QString& text) { bar->setVisible(!text.isEmpty()); });
        connect(this, &QWidget::windowTitleChanged, bar, &QStatusBar::clearMessage);
    }
    bar->showMessage(message);
    bar->setVisible(true);
}

QString TdlgAtlasdesk::StatusMessage() const
{
    auto* bar = findChild<QStatusBar*>(QStringLiteral("sbMessages"));
    return bar ? bar->currentMessage() : QString();
}
