#pragma once
// The sync command against the test server: a catalogue database of its
// own (TestDatabase, from data/chartroom.sql), a configuration naming it, a
// store of generated data sets, and the command run as a child process as
// a timer would run it (no terminal; the password in the environment).
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QSqlQuery>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "CatalogueTestUtil.h"
#include "TestDatabase.h"
#include "TestUtil.h"

namespace synctest {

using Rows = std::vector<std::vector<std::string>>;

// What one run of the command did.
struct Outcome {
    int exitCode = -1;
    std::string out; // standard output
    std::string err; // standard error
};

inline std::ostream& operator<<(std::ostream& os, const Outcome& run)
{
    return os << "exit " << run.exitCode << "\n--- stdout\n" << run.out << "--- stderr\n" << run.err;
}

// The metadata of a generated data set: its title, place and theme
// keywords, a box and a remark; `extra` goes into <metadata> as it is.
inline std::string datasetMetadata(const std::string& title, const std::string& extra = {})
{
    return cattest::metadataText("<citation><citeinfo><title>" + title +
                                     "</title><origin>Office</origin><origin>Survey of " + title +
                                     "</origin><pubdate>2011</pubdate></citeinfo></citation>"
                                     "<descript><abstract>About " + title + "</abstract>"
                                     "<supplinf>first\n\nsecond</supplinf></descript>"
                                     "<keywords><theme><themekey>roads</themekey></theme>"
                                     "<place><placekey>Vaud</placekey></place></keywords>"
                                     "<spdom><bounding><westbc>6.1</westbc><eastbc>7.2</eastbc>"
                                     "<northbc>46.9</northbc><southbc>46.1</southbc></bounding></spdom>",
                                 extra);
}

// The metadata of a data set flagged Ignore.
inline std::string ignoredMetadata(const std::string& title)
{
    return datasetMetadata(title, "<metainfo><atlasdesk><ignore>Yes</ignore></atlasdesk></metainfo>");
}

inline constexpr const char* kFirstFolder = "10_world/21_switzerland/31_vaud/transport/swisstopo";

// The title of the generated data set `i` of `folder`: its last folder and
// the number (short enough for the catalogue's 50-character ProdName).
inline std::string titleOf(const std::string& folder, int i)
{
    return folder.substr(folder.rfind('/') + 1) + " " + std::to_string(i);
}

// A data file `relative` to `root` (a folder when it ends with '/') and,
// unless none, its metadata.
inline void writeDataSet(const std::string& root, const std::string& relative, const std::optional<std::string>& metadata,
                         const std::string& content = "data")
{
    const std::string path = root + "/" + relative;
    if (path.back() == '/') {
        testutil::makeDir(path);
        if (metadata)
            testutil::writeFile(path + "metadata.xml", *metadata);
        return;
    }
    testutil::writeFile(path, content);
    if (metadata)
        testutil::writeFile(path + ".xml", *metadata);
}

// A store with one data set of each kind the catalogue knows, and some it
// does not list: 15 rows, and one data set flagged Ignore.
inline void writeVariedStore(const std::string& root)
{
    for (int i = 0; i < 10; ++i)
        writeDataSet(root, std::string(kFirstFolder) + "/d" + std::to_string(i) + ".shp",
                     datasetMetadata(titleOf(kFirstFolder, i)));
    writeDataSet(root, "10_world/21_switzerland/hydrology/rivers.shp", datasetMetadata("Rivers"));
    // A grid: its .aux beside the folder that holds its metadata.
    writeDataSet(root, "10_world/21_switzerland/31_vaud/dem/hdr.adf", std::nullopt, std::string(300, 'g'));
    testutil::writeFile(root + "/10_world/21_switzerland/31_vaud/dem/metadata.xml", datasetMetadata("Elevation"));
    writeDataSet(root, "10_world/21_switzerland/31_vaud/dem.aux", std::nullopt);
    // A folder described as a whole.
    writeDataSet(root, "10_world/21_switzerland/31_vaud/parcels/", datasetMetadata("Parcels"));
    writeDataSet(root, "10_world/21_switzerland/31_vaud/parcels/readme.pdf", std::nullopt);
    // Names the statements must escape, and a Latin-1 name.
    writeDataSet(root, "10_world/O'Hara \\ Co.shp", datasetMetadata("O'Hara"));
    writeDataSet(root, "10_world/caf\xe9.shp", datasetMetadata("Cafe"));
    // Not listed: no metadata, flagged, an archive folder, the root.
    writeDataSet(root, "10_world/nometa.shp", std::nullopt);
    writeDataSet(root, "10_world/flagged.shp", ignoredMetadata("Flagged"));
    writeDataSet(root, "85_archive/old.shp", datasetMetadata("Archived"));
    writeDataSet(root, "inroot.shp", datasetMetadata("In the root"));
}

// The catalogue tests' configuration, with ESRI grids (.aux) as rasters.
inline std::string configWith(const std::vector<std::string>& themes, const std::string& chartroom)
{
    std::string text = cattest::configText(themes, chartroom);
    const std::string raster = "<raster><ext>tif</ext></raster>";
    const size_t at = text.find(raster);
    if (at != std::string::npos)
        text.replace(at, raster.size(), "<raster><ext>tif</ext><ext>aux</ext></raster>");
    return text;
}

class SyncFixture : public cattest::CatalogueFixture {
protected:
    void SetUp() override
    {
        CatalogueFixture::SetUp();
        ATLASDESK_TEST_SERVER_ACCOUNT(account)
        useServer(*account);
    }
    // A catalogue database of the test's own on the server of `account`, a
    // store and the configuration naming them.
    void useServer(const cattest::ServerAccount& account)
    {
        m_account = account;
        m_user = m_account.user;
        m_password = m_account.password;
        try {
            m_db.emplace(account);
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
        m_store = m_tree / "store";
        testutil::makeDir(m_store);
        m_config = m_program / "sync.ini.xml";
        writeSyncConfig({"transport", "hydrology", "geology"});
    }
    void TearDown() override
    {
        m_db.reset();
        CatalogueFixture::TearDown();
    }

    // The configuration the command reads (--config), naming `m_db`.
    void writeSyncConfig(const std::vector<std::string>& themes)
    {
        testutil::writeFile(m_config, configWith(themes, chartroomElement(*m_db)));
    }

    std::string chartroomElement(const cattest::TestDatabase& db) const
    {
        return "  <chartroom><host>" + m_account.host + "</host><port>" + std::to_string(m_account.port) +
               "</port><database>" + db.name() + "</database><user>" + m_user +
               "</user><timeout>30</timeout></chartroom>\n";
    }

    void dataSet(const std::string& relative, const std::optional<std::string>& metadata,
                 const std::string& content = "data")
    {
        writeDataSet(m_store, relative, metadata, content);
    }

    // `count` vector data sets in `folder`, named d0.shp, d1.shp, ...
    void dataSets(const std::string& folder, int count)
    {
        for (int i = 0; i < count; ++i)
            dataSet(folder + "/d" + std::to_string(i) + ".shp", datasetMetadata(titleOf(folder, i)));
    }

    // The command's environment: the password, a configuration folder of
    // the test's own, and no display of any kind (it needs none).
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ATLASDESK_CHARTROOM_PASSWORD", QString::fromStdString(m_password));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(m_program / "config-home"));
        for (const char* display : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(display);
        return env;
    }

    // The command with `args` after "--config CONFIG --log LOG", started.
    std::unique_ptr<QProcess> start(const std::vector<std::string>& args, std::optional<QProcessEnvironment> env = {},
                                    std::function<void()> childModifier = {})
    {
        auto process = std::make_unique<QProcess>();
        QStringList arguments{"--config", QString::fromStdString(m_config), "--log", QString::fromStdString(logFile())};
        for (const std::string& a : args)
            arguments << QString::fromStdString(a);
        process->setProcessEnvironment(env ? *env : environment());
        process->setWorkingDirectory(QString::fromStdString(m_program.path()));
        if (childModifier)
            process->setChildProcessModifier(childModifier);
        process->start(ATLASDESK_SYNC_BIN, arguments);
        EXPECT_TRUE(process->waitForStarted(30000)) << process->errorString().toStdString();
        return process;
    }

    static Outcome finish(QProcess& process, int timeoutMs = 240000)
    {
        Outcome run;
        if (!process.waitForFinished(timeoutMs)) {
            ADD_FAILURE() << "the sync did not end within " << timeoutMs << " ms";
            process.kill();
            process.waitForFinished();
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput().toStdString();
        run.err = process.readAllStandardError().toStdString();
        return run;
    }

    // Runs the command on the store with `extra` arguments and waits for it.
    Outcome sync(const std::vector<std::string>& extra = {}, std::optional<QProcessEnvironment> env = {},
             std::function<void()> childModifier = {})
    {
        std::vector<std::string> args = extra;
        args.push_back(m_store);
        auto process = start(args, env, std::move(childModifier));
        return finish(*process);
    }

    std::string logFile() const { return m_program / "sync-log.html"; }

    // The summary's counts: "A added, U updated, R removed, N unchanged, X
    // unreadable, I ignored", found in the standard output.
    static std::string counts(const Outcome& run)
    {
        const size_t at = run.out.find(" added, ");
        if (at == std::string::npos)
            return "no summary";
        size_t from = run.out.rfind(' ', at - 1);
        from = from == std::string::npos ? 0 : from + 1;
        const size_t end = run.out.find(" ignored", at);
        return end == std::string::npos ? "no summary" : run.out.substr(from, end + 8 - from);
    }

    Rows rows(const std::string& select) const { return m_db->rows(select); }
    long long count(const std::string& table) const { return std::stoll(m_db->scalar("SELECT COUNT(*) FROM " + table)); }

    // The titles of Main, sorted by byte value.
    std::vector<std::string> titles() const
    {
        std::vector<std::string> result;
        for (const auto& row : rows("SELECT ProdName FROM Main"))
            result.push_back(row[0]);
        std::sort(result.begin(), result.end());
        return result;
    }

    cattest::ServerAccount m_account;
    // The command's account and its password: the test server's unless a
    // test changes them.
    std::string m_user;
    std::string m_password;
    std::optional<cattest::TestDatabase> m_db;
    std::string m_store;
    std::string m_config;
};

} // namespace synctest
