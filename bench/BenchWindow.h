#pragma once
// The main window as the program builds it, on a program folder of its own
// (the shipped configuration and stylesheets, plus any extra stylesheet),
// shown on the offscreen platform. Error boxes are collected instead of
// shown, so that a benchmark can tell that the command it timed succeeded.
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"

class TdlgAtlasdesk;
class TdmAtlasdesk;

namespace bench {

class BenchWindow {
public:
    // `extraStylesheets`: files copied into the program folder beside the
    // shipped ones. `dataModule`: the catalogue module the window uses
    // (one of its own when null).
    explicit BenchWindow(const std::vector<std::string>& extraStylesheets = {},
                         TdmAtlasdesk* dataModule = nullptr);
    ~BenchWindow();
    BenchWindow(const BenchWindow&) = delete;
    BenchWindow& operator=(const BenchWindow&) = delete;

    TdlgAtlasdesk& window() { return *m_window; }
    const std::string& programFolder() const { return m_program.path(); }
    // Error boxes shown since the last call, which empties the list.
    QStringList takeErrors();
    // Handles events until every listing and walk the window started has
    // ended (directories are listed off the window's thread).
    void waitForListings();

private:
    ScratchDir m_program;
    ScratchDir m_work;
    std::string m_previousDir;
    std::unique_ptr<TdmAtlasdesk> m_ownDataModule;
    std::unique_ptr<TdlgAtlasdesk> m_window;
    QStringList m_errors;
};

} // namespace bench
