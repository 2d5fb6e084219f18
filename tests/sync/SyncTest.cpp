// atlasdesk-sync against the test server, run as a timer runs it: the
// first sync, incremental syncs after every kind of change, a run killed
// with SIGKILL, a dry run proven in the server's general log, the removal
// limit and an empty mount point, unreadable and hung folders, two syncs at
// once, and the errors an administrator meets first.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <pty.h>
#include <signal.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSqlError>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <thread>

#include "SlowMount.h"
#include "PrivateServer.h"
#include "SyncFixture.h"
#include "support/PathOps.h"

using synctest::Rows;
using synctest::Outcome;
using synctest::datasetMetadata;
using synctest::ignoredMetadata;
using testutil::writeFile;

namespace {

using Clock = std::chrono::steady_clock;

using synctest::kFirstFolder;

class SyncTest : public synctest::SyncFixture {
protected:
    void writeVariedStore() { synctest::writeVariedStore(m_store); }

    std::string fileOf(int i) const { return m_store + "/" + kFirstFolder + "/d" + std::to_string(i) + ".shp"; }

    // Every data set's row, without the record number, sorted by place.
    Rows mainRows() const
    {
        return rows("SELECT PathFile,FileName,FileExt,FileType,ProdName,CreatorName,ProdDesc,Remarks,West,North,"
                    "Loc,Thematic,Source,DatasetSizeMB FROM Main ORDER BY PathFile,FileName");
    }

    std::string lockName() const { return "atlasdesk-sync:" + m_db->name(); }
    bool lockHeld() const
    {
        return m_db->scalar("SELECT IS_USED_LOCK('" + lockName() + "')") != "NULL";
    }

    // Runs the command on the store with a folder timeout of 1 s while
    // `mount` hangs, until it has said `said` on either stream: the process
    // itself cannot end while one of its threads waits in the kernel for
    // the hung file system, which answers only once released. `seconds` is
    // how long it took to say it.
    Outcome syncWhileHung(SlowMount& mount, const std::string& said, double& seconds)
    {
        mount.hang();
        const Clock::time_point started = Clock::now();
        auto process = start({"--folder-timeout", "1", m_store});
        std::string out, err;
        const Clock::time_point deadline = started + std::chrono::seconds(120);
        while (out.find(said) == std::string::npos && err.find(said) == std::string::npos &&
               Clock::now() < deadline && process->state() == QProcess::Running) {
            process->waitForReadyRead(100);
            out += process->readAllStandardOutput().toStdString();
            err += process->readAllStandardError().toStdString();
        }
        seconds = std::chrono::duration<double>(Clock::now() - started).count();
        mount.release();
        Outcome run = finish(*process);
        run.out = out + run.out;
        run.err = err + run.err;
        return run;
    }
};

TEST_F(SyncTest, FirstSyncWritesEveryListedDataSetOnceAndTheNextChangesNothing)
{
    writeVariedStore();
    const Outcome first = sync();
    EXPECT_EQ(first.exitCode, 0) << first;
    EXPECT_EQ(counts(first), "15 added, 0 updated, 0 removed, 0 unchanged, 0 unreadable, 1 ignored") << first;
    EXPECT_EQ(count("Main"), 15);
    EXPECT_EQ(count("SyncState"), 20)
        << "every data set of the store has a state: the flagged and those only searched (two without metadata, "
           "one archived, one in the root) have no row";
    EXPECT_EQ(count("SearchDataSets"), 20) << "the team's search covers every data set, as the store's own index";
    EXPECT_EQ(count("SearchBoxes"), 18) << "all but the two without metadata";
    EXPECT_NE(first.out.find("; for the search only: 4 written, 0 removed"), std::string::npos) << first;
    EXPECT_EQ(m_db->scalar("SELECT COUNT(*) FROM Main m JOIN SyncState s USING (DataSetKey) WHERE s.Listed=1"), "15");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM Main WHERE ProdName IN ('Archived','In the root','Flagged')"), (Rows{{"0"}}));

    EXPECT_EQ(rows("SELECT PathFile,FileType,ProdName,CreatorName,Loc,Thematic,Source,West FROM Main WHERE "
                   "FileName='d3.shp'"),
              (Rows{{"\\10_world\\21_switzerland\\31_vaud\\transport\\swisstopo\\", "Vector", "swisstopo 3", "Survey of swisstopo 3", "world,world,switzerland,vaud", "transport", "swisstopo",
                     "6.1"}}));
    EXPECT_EQ(rows("SELECT FileName,FileExt,FileType,DatasetSizeMB>0 FROM Main WHERE ProdName IN "
                   "('Elevation','Parcels','O''Hara','Cafe') ORDER BY ProdName"),
              (Rows{{"café.shp", ".shp", "Vector", "1"},
                    {"dem", ".aux", "Raster", "1"},
                    {"O'Hara \\ Co.shp", ".shp", "Vector", "1"},
                    {"parcels\\", "", "Directory", "0"}}));
    EXPECT_EQ(rows("SELECT Remarks FROM Main WHERE ProdName='Rivers'"), (Rows{{"first<br>second"}}));
    EXPECT_EQ(rows("SELECT Data FROM Themes ORDER BY Data"), (Rows{{"geology"}, {"hydrology"}, {"transport"}}));
    EXPECT_EQ(rows("SELECT Data FROM Sources"), (Rows{{"swisstopo"}}));
    EXPECT_NE(m_db->scalar("SELECT TABLE_COMMENT FROM information_schema.TABLES WHERE TABLE_SCHEMA='" + m_db->name() +
                           "' AND TABLE_NAME='Main'")
                  .find("Data added by Atlasdesk 1.2.0.48 on "),
              std::string::npos);
    const std::string log = testutil::readFile(logFile());
    EXPECT_NE(log.find("- Data added to Chartroom: 15 records added on "), std::string::npos) << log;
    EXPECT_NE(log.find("- Chartroom sync of " + m_store + ": 15 added, 0 updated, 0 removed"), std::string::npos)
        << log;

    const Rows before = rows("SELECT RecordNumber,PathFile,FileName FROM Main ORDER BY RecordNumber");
    const Outcome second = sync();
    EXPECT_EQ(second.exitCode, 0) << second;
    EXPECT_EQ(counts(second), "0 added, 0 updated, 0 removed, 15 unchanged, 0 unreadable, 1 ignored") << second;
    EXPECT_EQ(second.out.find("for the search only"), std::string::npos) << second;
    EXPECT_EQ(rows("SELECT RecordNumber,PathFile,FileName FROM Main ORDER BY RecordNumber"), before)
        << "an unchanged data set is not written again";
}

TEST_F(SyncTest, ChangesAdditionsRemovalsAndIgnoreReachTheCatalogue)
{
    writeVariedStore();
    ASSERT_EQ(sync().exitCode, 0);
    const std::string folder = m_store + "/" + kFirstFolder + "/";

    writeFile(fileOf(1) + ".xml", datasetMetadata("Renamed one"));               // changed metadata
    dataSet(std::string(kFirstFolder) + "/d10.shp", datasetMetadata("Ten"));    // new
    ASSERT_EQ(::unlink(fileOf(2).c_str()), 0);                                     // data gone
    ASSERT_EQ(::unlink((fileOf(3) + ".xml").c_str()), 0);                          // metadata gone
    writeFile(fileOf(4) + ".xml", ignoredMetadata("Four"));                       // now flagged
    writeFile(m_store + "/10_world/flagged.shp.xml", datasetMetadata("Unflagged")); // flag cleared
    writeFile(fileOf(5), std::string(3 * 1024 * 1024, 'x'));                        // data grew
    std::filesystem::remove_all(m_store + "/85_archive");                           // archive gone
    const Outcome run = sync();
    EXPECT_EQ(run.exitCode, 0) << run;
    EXPECT_EQ(counts(run), "2 added, 2 updated, 3 removed, 10 unchanged, 0 unreadable, 1 ignored") << run;
    EXPECT_NE(run.out.find("; for the search only: 1 written, 1 removed"), std::string::npos)
        << "the data set whose metadata went is written, the archived one removed: " << run;

    std::vector<std::string> expected = {"Cafe", "Elevation", "O'Hara", "Parcels", "Renamed one", "Rivers", "Ten",
                                         "Unflagged"};
    for (int i : {0, 5, 6, 7, 8, 9})
        expected.push_back(synctest::titleOf(kFirstFolder, i));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(titles(), expected);
    EXPECT_EQ(rows("SELECT DatasetSizeMB FROM Main WHERE FileName='d5.shp'"), (Rows{{"3"}}));
    EXPECT_EQ(count("SyncState"), 19) << "the states of the gone data sets are forgotten";
    EXPECT_EQ(rows("SELECT FileName FROM SyncState WHERE Listed=0 ORDER BY FileName"),
              (Rows{{"d3.shp"}, {"d4.shp"}, {"inroot.shp"}, {"nometa.shp"}, {"readme.pdf"}}));
    const std::string log = testutil::readFile(logFile());
    EXPECT_NE(log.find("- Removed from Chartroom (data set or metadata gone): "
                       "\\10_world\\21_switzerland\\31_vaud\\transport\\swisstopo\\d2.shp"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(fileOf(4) + " will not be exported to chartroom"), std::string::npos) << log;

    // The team's search follows: a row for every data set still there, with
    // its Main row's record number where it has one; the flagged one keeps
    // its search row, the one whose metadata went is found by its name.
    EXPECT_EQ(m_db->scalar("SELECT COUNT(*) FROM SearchDataSets s JOIN Main m USING (DataSetKey) WHERE "
                           "s.RecordNumber=m.RecordNumber"),
              "14");
    EXPECT_EQ(count("SearchDataSets"), 19);
    EXPECT_EQ(count("SearchBoxes"), 16);
    EXPECT_EQ(rows("SELECT Title FROM SearchDataSets WHERE ItemPath LIKE '%/d1.shp'"), (Rows{{"Renamed one"}}));
    EXPECT_EQ(rows("SELECT Title,TitleWords,LabelWords FROM SearchDataSets WHERE ItemPath LIKE '%/d3.shp'"),
              (Rows{{"", "", " w_d3 w_shp"}}));
    EXPECT_EQ(rows("SELECT Title FROM SearchDataSets WHERE ItemPath LIKE '%/d4.shp'"), (Rows{{"Four"}}));
    EXPECT_EQ(count("SearchDataSets WHERE ItemPath LIKE '85%'"), 0);

    const Outcome again = sync();
    EXPECT_EQ(counts(again), "0 added, 0 updated, 0 removed, 14 unchanged, 0 unreadable, 1 ignored") << again;
}

// A catalogue made before the search tables is synced as before, and says
// so; once the schema has been run again, the next sync writes every data
// set's search rows, and tells the windows when it ended.
TEST_F(SyncTest, ACatalogueWithoutTheSearchTablesGetsTheirRowsOnceTheyAreMade)
{
    dataSets(kFirstFolder, 4);
    m_db->exec("DROP TABLE SearchBoxes");
    m_db->exec("DROP TABLE SearchDataSets");
    const Outcome before = sync();
    EXPECT_EQ(before.exitCode, 0) << before;
    EXPECT_EQ(counts(before), "4 added, 0 updated, 0 removed, 0 unchanged, 0 unreadable, 0 ignored") << before;
    EXPECT_NE(before.err.find("no search tables"), std::string::npos) << before;
    EXPECT_EQ(count("SearchInfo"), 0);

    for (const std::string& statement :
         cattest::sqlStatements(testutil::readFile(ATLASDESK_SOURCE_DIR "/data/chartroom.sql")))
        m_db->exec(statement);
    const Outcome after = sync();
    EXPECT_EQ(after.exitCode, 0) << after;
    EXPECT_EQ(counts(after), "0 added, 4 updated, 0 removed, 0 unchanged, 0 unreadable, 0 ignored") << after;
    EXPECT_EQ(count("SearchDataSets"), 4);
    EXPECT_EQ(count("SearchBoxes"), 4);
    EXPECT_EQ(m_db->scalar("SELECT TIMESTAMPDIFF(SECOND, STR_TO_DATE(Value, '%Y-%m-%dT%H:%i:%sZ'), UTC_TIMESTAMP()) "
                           "BETWEEN 0 AND 120 FROM SearchInfo WHERE Name='synced'"),
              "1");
}

// Several servers (the nodes of a cluster): the first does not answer, the
// sync uses the next and says which.
TEST_F(SyncTest, UsesTheNextServerWhenTheFirstDoesNotAnswerAndSaysWhich)
{
    dataSets(kFirstFolder, 2);
    const std::string alive = m_account.host + ":" + std::to_string(m_account.port);
    std::string element = chartroomElement(*m_db);
    const std::string one = "<host>" + m_account.host + "</host>";
    element.replace(element.find(one), one.size(),
                    "<host>127.0.0.1:" + std::to_string(cattest::closedPort()) + "</host><host>" + alive + "</host>");
    testutil::writeFile(m_config, synctest::configWith({"transport", "hydrology", "geology"}, element));
    const Outcome run = sync();
    EXPECT_EQ(run.exitCode, 0) << run;
    EXPECT_EQ(count("Main"), 2);
    EXPECT_NE(run.out.find(" at " + alive + ": 2 added"), std::string::npos) << run;
}

// A data set whose files look as they did is not read again: a document
// spoilt behind the sync's back, with its size and time kept, goes
// unnoticed until --full, which reads everything and keeps the row of the
// document it cannot read. A new configuration rewrites every row.
TEST_F(SyncTest, ReadsOnlyWhatChangedUnlessToldOrReconfigured)
{
    dataSets(kFirstFolder, 6);
    ASSERT_EQ(sync().exitCode, 0);

    const std::string xml = fileOf(2) + ".xml";
    struct stat before {};
    ASSERT_EQ(::stat(xml.c_str(), &before), 0);
    writeFile(xml, std::string(static_cast<size_t>(before.st_size), '<'));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, xml.c_str(), times, 0), 0);

    const Outcome quiet = sync();
    EXPECT_EQ(quiet.exitCode, 0) << quiet;
    EXPECT_EQ(counts(quiet), "0 added, 0 updated, 0 removed, 6 unchanged, 0 unreadable, 0 ignored") << quiet;

    const Outcome full = sync({"--full"});
    EXPECT_EQ(full.exitCode, 1) << full;
    EXPECT_EQ(counts(full), "0 added, 5 updated, 0 removed, 0 unchanged, 1 unreadable, 0 ignored") << full;
    EXPECT_NE(full.err.find("unreadable: " + xml + ": "), std::string::npos) << full;
    EXPECT_EQ(count("Main"), 6) << "the row of a document that cannot be read stays";
    EXPECT_NE(testutil::readFile(logFile()).find("*** XML reading error for " + xml + ". This file was not uploaded. ***"),
              std::string::npos);

    writeFile(xml, datasetMetadata("Two again"));
    writeSyncConfig({"transport", "railway"});
    const Outcome reconfigured = sync();
    EXPECT_EQ(reconfigured.exitCode, 0) << reconfigured;
    EXPECT_EQ(counts(reconfigured), "0 added, 6 updated, 0 removed, 0 unchanged, 0 unreadable, 0 ignored")
        << reconfigured;
    EXPECT_EQ(rows("SELECT Data FROM Themes ORDER BY Data"), (Rows{{"geology"}, {"hydrology"}, {"railway"}, {"transport"}}))
        << "themes are added, as the window adds them";
}

// Killed at any moment, the next run ends the work: one row and one state
// per data set, and what the killed run committed is not written again.
TEST_F(SyncTest, ASyncKilledWithSigkillIsFinishedByTheNext)
{
    constexpr int kDataSets = 3000;
    for (int f = 0; f < 6; ++f)
        dataSets("10_world/f" + std::to_string(f), kDataSets / 6);
    struct Moment {
        const char* when;
        std::function<bool()> reached;
    };
    const std::vector<Moment> moments = {
        {"while walking (the lock held, no row yet)", [&] { return lockHeld(); }},
        {"after the first rows", [&] { return count("Main") > 0; }},
        {"past half the rows", [&] { return count("Main") > kDataSets / 2; }},
    };
    for (const Moment& moment : moments) {
        SCOPED_TRACE(moment.when);
        auto process = start({m_store});
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
        while (!moment.reached() && process->state() == QProcess::Running && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const bool killed = process->state() == QProcess::Running;
        if (killed)
            ::kill(static_cast<pid_t>(process->processId()), SIGKILL);
        process->waitForFinished(60000);
        if (!killed)
            ADD_FAILURE() << "the run ended before it could be killed";
        // The killed run's session has ended on the server (its lock is
        // free) before its committed rows are counted.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !lockHeld(); }, 60000));
        const long long written = count("Main");

        const Outcome next = sync({"--wait", "60"});
        EXPECT_EQ(next.exitCode, 0) << next;
        EXPECT_EQ(counts(next), std::to_string(kDataSets - written) + " added, 0 updated, 0 removed, " +
                                    std::to_string(written) + " unchanged, 0 unreadable, 0 ignored")
            << next;
        EXPECT_EQ(count("Main"), kDataSets);
        EXPECT_EQ(m_db->scalar("SELECT COUNT(DISTINCT PathFile,FileName) FROM Main"), std::to_string(kDataSets));
        EXPECT_EQ(count("SyncState"), kDataSets);
        m_db->exec("DELETE FROM Main");
        m_db->exec("DELETE FROM SyncState");
    }
}

// A dry run says what would change and sends the server nothing that
// writes: its every statement is read from the server's general log.
TEST_F(SyncTest, DryRunWritesNothing)
{
    dataSets(kFirstFolder, 5);
    ASSERT_EQ(sync().exitCode, 0);
    writeFile(fileOf(1) + ".xml", datasetMetadata("Changed"));
    dataSet(std::string(kFirstFolder) + "/d9.shp", datasetMetadata("New"));
    ASSERT_EQ(::unlink(fileOf(2).c_str()), 0);
    writeFile(fileOf(3) + ".xml", ignoredMetadata("Flagged"));
    const std::string fingerprint = "SELECT CONCAT((SELECT COUNT(*) FROM Main),'/',(SELECT SUM(RecordNumber) FROM "
                                    "Main),'/',(SELECT COUNT(*) FROM SyncState),'/',(SELECT MAX(SyncedAt) FROM "
                                    "SyncState),'/',(SELECT TABLE_COMMENT FROM information_schema.TABLES WHERE "
                                    "TABLE_SCHEMA=DATABASE() AND TABLE_NAME='Main'))";
    const std::string before = m_db->scalar(fingerprint);
    const std::string logBefore = testutil::readFile(logFile());

    const std::string output = m_db->scalar("SELECT @@GLOBAL.log_output");
    m_db->exec("SET GLOBAL log_output='TABLE'");
    m_db->exec("TRUNCATE TABLE mysql.general_log");
    m_db->exec("SET GLOBAL general_log=1");
    const Outcome dry = sync({"--dry-run"});
    m_db->exec("SET GLOBAL general_log=0");
    const Rows statements = rows("SELECT g.argument FROM mysql.general_log g WHERE g.command_type='Query' AND "
                                 "g.thread_id IN (SELECT c.thread_id FROM mysql.general_log c WHERE "
                                 "c.command_type='Connect' AND c.argument LIKE '% on " +
                                 m_db->name() + " %')");
    m_db->exec("SET GLOBAL log_output='" + output + "'");
    m_db->exec("TRUNCATE TABLE mysql.general_log");

    EXPECT_EQ(dry.exitCode, 0) << dry;
    EXPECT_EQ(counts(dry), "1 added, 1 updated, 2 removed, 2 unchanged, 0 unreadable, 1 ignored") << dry;
    EXPECT_NE(dry.out.find("would add " + m_store + "/" + kFirstFolder + "/d9.shp\n"), std::string::npos) << dry;
    EXPECT_NE(dry.out.find("would update " + fileOf(1) + "\n"), std::string::npos) << dry;
    EXPECT_NE(dry.out.find("would remove \\10_world\\21_switzerland\\31_vaud\\transport\\swisstopo\\d2.shp\n"),
              std::string::npos)
        << dry;
    EXPECT_NE(dry.out.find("would remove (flagged Ignore) " + fileOf(3) + "\n"), std::string::npos) << dry;

    // Queries and the session's own settings only: no statement that
    // writes, opens a transaction or takes the lock.
    ASSERT_FALSE(statements.empty()) << "the general log shows none of the run's statements";
    int queries = 0;
    for (const auto& row : statements) {
        const std::string upper = QString::fromStdString(row[0]).simplified().toUpper().toStdString();
        const bool query = upper.rfind("SELECT ", 0) == 0;
        queries += query;
        EXPECT_TRUE(query || upper.rfind("SET NAMES ", 0) == 0 || upper.rfind("SET SESSION ", 0) == 0) << row[0];
        EXPECT_EQ(upper.find("GET_LOCK"), std::string::npos) << row[0];
    }
    EXPECT_GE(queries, 3) << "the state, the rows and the places of the gone data sets are read";
    EXPECT_EQ(m_db->scalar(fingerprint), before);
    EXPECT_EQ(testutil::readFile(logFile()), logBefore) << "a dry run writes no log";
}

// More removals than the limit remove nothing and exit with 2; an empty
// store folder (a share that is not mounted) never empties the catalogue.
TEST_F(SyncTest, RemovalLimitAndAnEmptyMountPoint)
{
    dataSets("10_world/a", 150);
    dataSets("10_world/b", 50);
    ASSERT_EQ(sync().exitCode, 0);
    ASSERT_EQ(count("Main"), 200);

    std::filesystem::remove_all(m_store + "/10_world/b");
    const Outcome fifty = sync();
    EXPECT_EQ(fifty.exitCode, 0) << fifty;
    EXPECT_EQ(counts(fifty), "0 added, 0 updated, 50 removed, 150 unchanged, 0 unreadable, 0 ignored") << fifty;

    std::filesystem::remove_all(m_store + "/10_world");
    writeFile(m_store + "/readme.txt", "left over");
    const Outcome emptied = sync();
    EXPECT_EQ(emptied.exitCode, 2) << emptied;
    EXPECT_NE(emptied.err.find("150 rows of the catalogue's 150 would be removed, more than the limit of 100: nothing "
                               "was removed"),
              std::string::npos)
        << emptied;
    EXPECT_EQ(count("Main"), 150);
    EXPECT_EQ(count("SyncState"), 150);
    EXPECT_NE(testutil::readFile(logFile()).find("more than the limit of 100: nothing was removed"), std::string::npos);

    std::filesystem::remove(m_store + "/readme.txt");
    for (const std::vector<std::string>& extra : {std::vector<std::string>{}, {"--max-removals", "1000"}}) {
        const Outcome unmounted = sync(extra);
        EXPECT_EQ(unmounted.exitCode, 2) << unmounted;
        EXPECT_NE(unmounted.err.find("is an empty folder: the share is probably not mounted. Nothing was changed."),
                  std::string::npos)
            << unmounted;
        EXPECT_EQ(count("Main"), 150);
    }

    writeFile(m_store + "/readme.txt", "left over");
    const Outcome allowed = sync({"--max-removals", "150"});
    EXPECT_EQ(allowed.exitCode, 0) << allowed;
    EXPECT_EQ(counts(allowed), "0 added, 0 updated, 150 removed, 0 unchanged, 0 unreadable, 0 ignored") << allowed;
    EXPECT_EQ(count("Main"), 0);
    EXPECT_EQ(count("SyncState"), 0);
}

TEST_F(SyncTest, KeepRemovedRemovesNoRow)
{
    dataSets(kFirstFolder, 3);
    ASSERT_EQ(sync().exitCode, 0);
    ASSERT_EQ(::unlink(fileOf(0).c_str()), 0);
    writeFile(fileOf(1) + ".xml", ignoredMetadata("One"));
    const Outcome kept = sync({"--keep-removed"});
    EXPECT_EQ(kept.exitCode, 0) << kept;
    EXPECT_EQ(counts(kept), "0 added, 0 updated, 0 removed, 1 unchanged, 0 unreadable, 1 ignored") << kept;
    EXPECT_EQ(count("Main"), 3);
    const Outcome mirrored = sync();
    EXPECT_EQ(counts(mirrored), "0 added, 0 updated, 2 removed, 1 unchanged, 0 unreadable, 1 ignored") << mirrored;
}

// The account of data/chartroom-sync-account.sql, with only the rights it
// grants, runs every kind of change: additions, updates, removals of gone
// and of flagged data sets, and the table comment.
TEST_F(SyncTest, TheShippedLeastPrivilegedAccountSuffices)
{
    m_user = "sync_" + m_db->name().substr(m_db->name().rfind('_') + 1);
    m_password = "sync-test-secret";
    const cattest::ScriptedAccount account(*m_db, ATLASDESK_SOURCE_DIR "/data/chartroom-sync-account.sql",
                                           "atlasdesk_sync", m_user, m_password);
    writeSyncConfig({"transport", "hydrology", "geology"});
    EXPECT_EQ(rows("SELECT COUNT(*) FROM information_schema.USER_PRIVILEGES WHERE GRANTEE=\"'" + m_user + "'@'%'\" "
                   "AND PRIVILEGE_TYPE<>'USAGE'"),
              (Rows{{"0"}}))
        << "no right beyond the catalogue's tables";

    writeVariedStore();
    const Outcome first = sync();
    EXPECT_EQ(first.exitCode, 0) << first;
    EXPECT_EQ(counts(first), "15 added, 0 updated, 0 removed, 0 unchanged, 0 unreadable, 1 ignored") << first;

    writeFile(fileOf(1) + ".xml", datasetMetadata("Renamed one"));
    ASSERT_EQ(::unlink(fileOf(2).c_str()), 0);
    writeFile(fileOf(4) + ".xml", ignoredMetadata("Four"));
    const Outcome changed = sync();
    EXPECT_EQ(changed.exitCode, 0) << changed;
    EXPECT_EQ(counts(changed), "0 added, 1 updated, 2 removed, 12 unchanged, 0 unreadable, 2 ignored") << changed;
    EXPECT_EQ(count("Main"), 13);
    EXPECT_EQ(count("SearchDataSets"), 19) << "the team's search follows (every data set of the store)";
}

// The child process runs without root's right to read any folder, so that
// a folder's permission bits stop it as they stop any user.
void withoutReadingEverything()
{
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
}

TEST_F(SyncTest, AFolderThatCannotBeReadRemovesNothingBelowIt)
{
    dataSets("10_world/open", 3);
    dataSets("10_world/secret", 2);
    dataSets("10_world/secret/inner", 1);
    dataSet("10_world/secret/", datasetMetadata("The secret folder"));
    ASSERT_EQ(sync().exitCode, 0);
    ASSERT_EQ(count("Main"), 7);

    ASSERT_EQ(::unlink((m_store + "/10_world/open/d0.shp").c_str()), 0);
    ASSERT_EQ(::unlink((m_store + "/10_world/secret/d0.shp").c_str()), 0);
    const std::string secret = m_store + "/10_world/secret";
    ASSERT_EQ(::chmod(secret.c_str(), 0), 0);
    struct Restore {
        std::string dir;
        ~Restore() { ::chmod(dir.c_str(), 0755); }
    } restore{secret};
    QProcess probe;
    probe.setChildProcessModifier(withoutReadingEverything);
    probe.start("/bin/ls", {QString::fromStdString(secret)});
    probe.waitForFinished();
    if (probe.exitCode() == 0) {
        if (qEnvironmentVariableIsSet("CI"))
            FAIL() << "a child process still reads a chmod 000 folder";
        GTEST_SKIP() << "a child process still reads a chmod 000 folder (capabilities cannot be dropped here)";
    }

    const Outcome run = sync({}, {}, withoutReadingEverything);
    EXPECT_EQ(run.exitCode, 1) << run;
    EXPECT_EQ(counts(run), "0 added, 0 updated, 1 removed, 2 unchanged, 0 unreadable, 0 ignored") << run;
    EXPECT_NE(run.err.find("unreadable: " + secret + "/: Cannot read the folder"), std::string::npos) << run;
    EXPECT_EQ(count("Main"), 6) << "the rows below the folder, and its own, stay";
    EXPECT_EQ(count("SyncState"), 6);
    EXPECT_NE(testutil::readFile(logFile()).find("*** Folder could not be read: " + secret + "/: "), std::string::npos);

    ::chmod(secret.c_str(), 0755);
    const Outcome readable = sync();
    EXPECT_EQ(readable.exitCode, 0) << readable;
    EXPECT_EQ(counts(readable), "0 added, 0 updated, 1 removed, 5 unchanged, 0 unreadable, 0 ignored") << readable;
}

// A folder of a share that stops answering is given up after the folder
// timeout, and nothing below it is removed; the rest of the store syncs.
TEST_F(SyncTest, AFolderThatDoesNotAnswerRemovesNothingBelowIt)
{
    const std::string why = SlowMount::unavailable(ATLASDESK_SLOWFS);
    if (!why.empty()) {
        if (qEnvironmentVariableIsSet("CI"))
            FAIL() << "the slow file system is needed: " << why;
        GTEST_SKIP() << "the slow file system is needed: " << why;
    }
    testutil::TempDir work;
    const std::string source = m_store;
    dataSets("10_world/answers", 3);
    dataSets("10_world/hung", 2);
    dataSets("10_world/hung/deeper", 1);
    const std::string mountPoint = work / "mnt";
    testutil::makeDir(mountPoint);
    SlowMount mount(ATLASDESK_SLOWFS, source, mountPoint, 0, "/10_world/hung");
    ASSERT_TRUE(mount.mounted());
    m_store = ExcludeTrailingPathDelimiter(mount.path());
    ASSERT_EQ(sync().exitCode, 0);
    ASSERT_EQ(count("Main"), 6);

    ASSERT_EQ(::unlink((source + "/10_world/answers/d0.shp").c_str()), 0);
    ASSERT_EQ(::unlink((source + "/10_world/hung/d0.shp").c_str()), 0);
    // The run is judged by its summary.
    double seconds = 0;
    const Outcome run = syncWhileHung(mount, " ignored", seconds);
    EXPECT_EQ(run.exitCode, 1) << run;
    EXPECT_EQ(counts(run), "0 added, 0 updated, 1 removed, 2 unchanged, 0 unreadable, 0 ignored") << run;
    EXPECT_NE(run.err.find("unreadable: " + m_store + "/10_world/hung/: no answer within 1 s"), std::string::npos)
        << run;
    EXPECT_EQ(count("Main"), 5);
    EXPECT_LT(seconds, 60) << "the hung folder held the run";
}

// A store whose root does not answer stops the run before anything is
// read or written: it says so after the folder timeout, and the catalogue
// keeps every row.
TEST_F(SyncTest, AStoreRootThatDoesNotAnswerChangesNothing)
{
    const std::string why = SlowMount::unavailable(ATLASDESK_SLOWFS);
    if (!why.empty()) {
        if (qEnvironmentVariableIsSet("CI"))
            FAIL() << "the slow file system is needed: " << why;
        GTEST_SKIP() << "the slow file system is needed: " << why;
    }
    testutil::TempDir work;
    const std::string source = m_store;
    dataSets("10_world/answers", 3);
    const std::string mountPoint = work / "mnt";
    testutil::makeDir(mountPoint);
    // Opening or reading the mount's own root hangs while hang() is in force.
    SlowMount mount(ATLASDESK_SLOWFS, source, mountPoint, 0, "/");
    ASSERT_TRUE(mount.mounted());
    m_store = ExcludeTrailingPathDelimiter(mount.path());
    ASSERT_EQ(sync().exitCode, 0);
    ASSERT_EQ(count("Main"), 3);

    ASSERT_EQ(::unlink((source + "/10_world/answers/d0.shp").c_str()), 0);
    const std::string said = "The store " + m_store + " did not answer within 1 s";
    double seconds = 0;
    const Outcome run = syncWhileHung(mount, said, seconds);
    EXPECT_EQ(run.exitCode, 3) << run;
    EXPECT_NE(run.err.find(said), std::string::npos) << run;
    EXPECT_EQ(counts(run), "no summary") << run;
    EXPECT_EQ(count("Main"), 3) << "nothing is removed for a store that did not answer";
    EXPECT_LT(seconds, 60) << "the hung root held the run";
}

// Two syncs of one catalogue never write at once: the second says that
// another runs (exit 2), or waits for it with --wait and then finds
// everything written.
TEST_F(SyncTest, TwoSyncsAtOnce)
{
    constexpr int kDataSets = 3000;
    for (int f = 0; f < 6; ++f)
        dataSets("10_world/f" + std::to_string(f), kDataSets / 6);
    auto first = start({m_store});
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
    while (!lockHeld() && first->state() == QProcess::Running && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(lockHeld()) << "the first sync never took the lock";

    const Outcome refused = sync();
    auto waiting = start({"--wait", "120", m_store});
    const Outcome firstRun = finish(*first);
    const Outcome waited = finish(*waiting);

    EXPECT_EQ(refused.exitCode, 2) << refused;
    EXPECT_NE(refused.err.find("Another sync of the catalogue " + m_db->name() + " at " + m_account.host + ":" +
                               std::to_string(m_account.port) + " is running"),
              std::string::npos)
        << refused;
    EXPECT_EQ(counts(refused), "no summary");
    EXPECT_EQ(firstRun.exitCode, 0) << firstRun;
    EXPECT_EQ(counts(firstRun), std::to_string(kDataSets) + " added, 0 updated, 0 removed, 0 unchanged, 0 unreadable, 0 ignored")
        << firstRun;
    EXPECT_EQ(waited.exitCode, 0) << waited;
    EXPECT_EQ(counts(waited), "0 added, 0 updated, 0 removed, " + std::to_string(kDataSets) +
                                  " unchanged, 0 unreadable, 0 ignored")
        << waited;
    EXPECT_EQ(count("Main"), kDataSets);
}

// What an administrator meets first: each is refused with exit 3 and a
// message that names the cause (and, for the server, its host and port),
// and nothing is written.
TEST_F(SyncTest, SetupAndConnectionErrorsSayWhatAndWhere)
{
    dataSets(kFirstFolder, 2);
    const std::string where = m_account.host + ":" + std::to_string(m_account.port);

    // A port nobody listens on.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int closedPort = ntohs(address.sin_port);
    ::close(probe);

    const std::string passwordFile = m_program / "password";
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::vector<std::string> args;
        std::optional<QProcessEnvironment> env;
        std::vector<std::string> message;
    };
    QProcessEnvironment wrongPassword = environment();
    wrongPassword.insert("ATLASDESK_CHARTROOM_PASSWORD", "not-the-password");
    QProcessEnvironment noPassword = environment();
    noPassword.remove("ATLASDESK_CHARTROOM_PASSWORD");
    const std::vector<Case> cases = {
        {"a wrong password", [] {}, {}, wrongPassword, {"Cannot connect to the Chartroom catalogue", "Access denied", where}},
        {"no password at all", [] {}, {}, noPassword, {"Access denied", where, "no password was given"}},
        {"an unreachable server",
         [&] {
             writeFile(m_config, cattest::configText({"transport"}, "<chartroom><host>127.0.0.1</host><port>" +
                                                                        std::to_string(closedPort) + "</port><database>x</database>"
                                                                        "<user>u</user></chartroom>"));
         },
         {}, {}, {"Cannot connect to the Chartroom catalogue", "127.0.0.1:" + std::to_string(closedPort)}},
        {"a password file others may read",
         [&] {
             writeFile(passwordFile, m_account.password + "\n");
             ::chmod(passwordFile.c_str(), 0644);
         },
         {"--password-file", passwordFile}, {}, {"password file " + passwordFile, "mode 0644", "chmod 600"}},
        {"a catalogue without the sync's table", [&] { m_db->exec("DROP TABLE SyncState"); }, {}, {},
         {"has no table SyncState", where}},
        {"a configuration without catalogue",
         [&] { writeFile(m_config, cattest::configText({"transport"})); }, {}, {}, {"names no catalogue"}},
        {"a store that is not there", [] {}, {"--", m_store + "/missing"}, {}, {"missing is not a folder"}},
        {"an option it does not know", [] {}, {"--frobnicate"}, {}, {"unknown option --frobnicate"}},
        {"a password on the command line", [] {}, {"--password", "x"}, {}, {"never taken from the command line"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        const Outcome run = sync(c.args, c.env);
        EXPECT_EQ(run.exitCode, 3) << run;
        for (const std::string& part : c.message)
            EXPECT_NE(run.err.find(part), std::string::npos) << part << "\n" << run;
        EXPECT_EQ(counts(run), "no summary");
        EXPECT_EQ(count("Main"), 0);
        writeSyncConfig({"transport"});
    }

    // The password file as it should be.
    writeFile(passwordFile, m_account.password + "\n");
    ::chmod(passwordFile.c_str(), 0600);
    QProcessEnvironment fileOnly = environment();
    fileOnly.remove("ATLASDESK_CHARTROOM_PASSWORD");
    m_db.reset();
    m_db.emplace(m_account);
    writeSyncConfig({"transport"});
    const Outcome run = sync({"--password-file", passwordFile}, fileOnly);
    EXPECT_EQ(run.exitCode, 0) << run;
    EXPECT_EQ(count("Main"), 2);
}

// The command runs where there is no display: it links no widgets and no
// web engine (every run of these tests has no display in its environment).
TEST_F(SyncTest, NeedsNoDisplay)
{
    QProcess ldd;
    ldd.start("ldd", {ATLASDESK_SYNC_BIN});
    ASSERT_TRUE(ldd.waitForFinished(30000));
    const std::string libraries = ldd.readAllStandardOutput().toStdString();
    ASSERT_NE(libraries.find("libQt6Sql"), std::string::npos) << libraries;
    for (const char* library : {"libQt6Widgets", "libQt6WebEngine", "libQt6OpenGLWidgets"})
        EXPECT_EQ(libraries.find(library), std::string::npos) << library << "\n" << libraries;
}

// On a terminal the progress is one line rewritten in place; for a timer's
// journal, plain lines.
TEST_F(SyncTest, ProgressIsALineOnATerminalAndPlainLinesElsewhere)
{
    dataSets(kFirstFolder, 400);
    const Outcome plain = sync();
    EXPECT_EQ(plain.exitCode, 0) << plain;
    EXPECT_EQ(plain.err.find('\r'), std::string::npos) << plain;
    EXPECT_EQ(plain.err.find('\033'), std::string::npos) << plain;
    EXPECT_NE(plain.err.find("Walking " + m_store + "\n"), std::string::npos) << plain;
    EXPECT_NE(plain.err.find("Writing 400 new or changed data sets\n"), std::string::npos) << plain;
    m_db->exec("DELETE FROM Main");
    m_db->exec("DELETE FROM SyncState");

    // The same run with its output on a terminal of its own.
    // Everything the child needs is made before the fork: after it, only
    // the exec.
    const std::string bin = ATLASDESK_SYNC_BIN;
    const std::string log = logFile();
    std::vector<std::string> environmentTexts;
    for (const QString& entry : environment().toStringList())
        environmentTexts.push_back(entry.toStdString());
    std::vector<char*> envp;
    for (std::string& entry : environmentTexts)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    int terminal = -1;
    const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execle(bin.c_str(), bin.c_str(), "--config", m_config.c_str(), "--log", log.c_str(), m_store.c_str(),
                 static_cast<char*>(nullptr), envp.data());
        ::_exit(127);
    }
    std::string output;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(terminal, buffer, sizeof buffer);
        if (n <= 0)
            break;
        output.append(buffer, static_cast<size_t>(n));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(terminal);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_NE(output.find("\rWriting 400 of 400"), std::string::npos) << output;
    EXPECT_NE(output.find("\rWalking " + m_store + ": "), std::string::npos) << output;
    EXPECT_NE(output.find("400 added, 0 updated"), std::string::npos) << output;
}

} // namespace
