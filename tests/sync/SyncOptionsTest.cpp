// The command line of atlasdesk-sync and its password file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "TestUtil.h"
#include "sync/CatalogueSync.h"
#include "sync/SyncLogin.h"
#include "sync/SyncOptions.h"

namespace {

TEST(SyncOptionsTest, EveryOptionInBothSpellings)
{
    const SyncOptions o = ParseSyncOptions({"--config", "a.xml", "--dry-run", "--keep-removed", "--max-removals=7",
                                            "--log=/var/log/atlasdesk/", "--password-file", "pw", "--wait", "30",
                                            "--folder-timeout=5", "--full", "--verbose", "/srv/one", "--", "--two"});
    EXPECT_EQ(o.configFile, "a.xml");
    EXPECT_TRUE(o.dryRun);
    EXPECT_TRUE(o.keepRemoved);
    EXPECT_EQ(o.maxRemovals, 7);
    EXPECT_EQ(o.logFile, "/var/log/atlasdesk/");
    EXPECT_EQ(o.passwordFile, "pw");
    EXPECT_EQ(o.waitSeconds, 30);
    EXPECT_EQ(o.folderTimeoutSeconds, 5);
    EXPECT_TRUE(o.full);
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(o.stores, (std::vector<std::string>{"/srv/one", "--two"}));

    const SyncOptions plain = ParseSyncOptions({"/srv/geo"});
    EXPECT_FALSE(plain.dryRun || plain.keepRemoved || plain.full || plain.maxRemovals || plain.logFile);
    EXPECT_EQ(plain.folderTimeoutSeconds, 60);
    EXPECT_EQ(plain.waitSeconds, 0);
    EXPECT_TRUE(ParseSyncOptions({"--help"}).help);
}

TEST(SyncOptionsTest, WhatIsRefusedSaysWhy)
{
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{}, "name the store"},
        {{"--dry-run"}, "name the store"},
        {{"--max-removals", "-1", "/s"}, "--max-removals needs a whole number of at least 0, not '-1'"},
        {{"--max-removals=ten", "/s"}, "not 'ten'"},
        {{"--folder-timeout", "0", "/s"}, "--folder-timeout needs a whole number of at least 1"},
        {{"--wait", "99999999", "/s"}, "at most a week"},
        {{"/s", "--config"}, "--config needs a value"},
        {{"--dry-run=yes", "/s"}, "--dry-run takes no value"},
        {{"--pasword-file", "x", "/s"}, "unknown option --pasword-file"},
        {{"--password=secret", "/s"}, "never taken from the command line"},
        {{""}, "empty path"},
    };
    for (const auto& c : cases) {
        std::string message = "(accepted)";
        try {
            ParseSyncOptions(c.args);
        } catch (const EUsage& e) {
            message = e.what();
        }
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
}

TEST(SyncOptionsTest, PasswordFileOfItsOwnerOnly)
{
    testutil::TempDir dir;
    const std::string file = dir / "password";
    testutil::writeFile(file, "s3cret\r\nsecond line\n");
    const auto error = [](const std::function<void()>& read) {
        try {
            read();
        } catch (const ESyncSetup& e) {
            return std::string(e.what());
        }
        return std::string("(read)");
    };
    for (mode_t mode : {0600, 0400}) {
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        EXPECT_EQ(ReadPasswordFile(file), "s3cret");
    }
    for (mode_t mode : {0640, 0604, 0620, 0602}) {
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        EXPECT_NE(error([&] { ReadPasswordFile(file); }).find("may be read or changed by other users"),
                  std::string::npos)
            << std::oct << mode;
    }
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(file.c_str(), (dir / "link").c_str()), 0);
    EXPECT_NE(error([&] { ReadPasswordFile(dir / "link"); }).find("cannot be opened"), std::string::npos);
    EXPECT_NE(error([&] { ReadPasswordFile(dir / "missing"); }).find("No such file"), std::string::npos);
    testutil::makeDir(dir / "folder");
    ::chmod((dir / "folder").c_str(), 0700);
    EXPECT_NE(error([&] { ReadPasswordFile(dir / "folder"); }).find("not a regular file"), std::string::npos);

    // The file wins over the environment; without either and without a
    // terminal on the standard input, there is none and no prompt.
    const QByteArray kept = qgetenv("ATLASDESK_CHARTROOM_PASSWORD");
    const bool wasSet = qEnvironmentVariableIsSet("ATLASDESK_CHARTROOM_PASSWORD");
    qputenv("ATLASDESK_CHARTROOM_PASSWORD", "from-the-environment");
    EXPECT_EQ(SyncPassword(file, "u@h"), "s3cret");
    EXPECT_EQ(SyncPassword(std::nullopt, "u@h"), "from-the-environment");
    qunsetenv("ATLASDESK_CHARTROOM_PASSWORD");
    if (!::isatty(STDIN_FILENO)) {
        EXPECT_EQ(SyncPassword(std::nullopt, "u@h"), std::nullopt);
    }
    if (wasSet)
        qputenv("ATLASDESK_CHARTROOM_PASSWORD", kept);
}

} // namespace
