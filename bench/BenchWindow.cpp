#include "BenchWindow.h"

#include <QCoreApplication>

#include <unistd.h>

#include <QDeadlineTimer>
#include <QWindow>

#include <filesystem>
#include <stdexcept>

#include "model/AtlasdeskOps.h"
#include "app/CommandGuard.h"
#include "app/dlgAtlasdeskU.h"
#include "catalogue/dmAtlasdeskU.h"

namespace bench {

BenchWindow::BenchWindow(const std::vector<std::string>& extraStylesheets, TdmAtlasdesk* dataModule)
    : m_program("program"), m_work("work"), m_previousDir(std::filesystem::current_path().string())
{
    copyFile(sourceDir() + "data/AtlasdeskView.ini.xml", m_program.path() + "AtlasdeskView.ini.xml");
    for (const auto& entry : std::filesystem::directory_iterator(sourceDir() + "data"))
        if (entry.path().extension() == ".xsl")
            copyFile(entry.path().string(), m_program.path() + entry.path().filename().string());
    for (const std::string& sheet : extraStylesheets)
        copyFile(sheet, m_program.path() + std::filesystem::path(sheet).filename().string());
    SetProgramFolder(m_program.path());
    // The configuration beside the program is the one read, as for a user
    // who starts the program from anywhere else.
    std::filesystem::current_path(m_work.path());
    setErrorBoxHook([this](const QString& text) { m_errors << text; });

    if (!dataModule) {
        m_ownDataModule = std::make_unique<TdmAtlasdesk>();
        dataModule = m_ownDataModule.get();
    }
    m_window = std::make_unique<TdlgAtlasdesk>(dataModule);
    // The tree's figures leave the search indexer out (the search group
    // measures it on its own).
    m_window->indexOnConnect = false;
    m_window->show();
    const QDeadlineTimer deadline(10000);
    while (!(m_window->windowHandle() && m_window->windowHandle()->isExposed()) && !deadline.hasExpired())
        settle();
    settle();
    if (!m_errors.isEmpty())
        throw std::runtime_error("the window reported at start-up: " + m_errors.join("; ").toStdString());
}

BenchWindow::~BenchWindow()
{
    m_window.reset();
    m_ownDataModule.reset();
    setErrorBoxHook({});
    ClearConfiguration();
    SetProgramFolder({});
    std::error_code ec;
    std::filesystem::current_path(m_previousDir, ec);
}

void BenchWindow::waitForListings()
{
    runEventLoopUntil([this] { return !m_window->listingBusy(); });
    settle();
}

QStringList BenchWindow::takeErrors()
{
    QStringList errors;
    errors.swap(m_errors);
    return errors;
}

} // namespace bench
