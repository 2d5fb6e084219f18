#pragma once
// Root is not stopped by permission bits. A case about a folder its user may
// not write runs itself again as `nobody` in a child process (setpriv, with
// a home of its own), as an ordinary user of an installed program runs.
#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <string>

#include "TestUtil.h"

namespace faults {

// True in the process that is to do the case's work: one that does not run
// as root (the child, or a suite run by an ordinary user). In root's process
// it runs the current case in a child as nobody, adds the child's failures
// to this one and returns false.
inline bool asOrdinaryUser()
{
    if (::geteuid() != 0)
        return true;
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody || ::access("/usr/bin/setpriv", X_OK) != 0) {
        ADD_FAILURE() << "running as root, and there is no user nobody or no setpriv to run the case as";
        return false;
    }
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string(info->test_suite_name()) + "." + info->name();
    testutil::TempDir home;
    if (::chown(home.path().c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
        ADD_FAILURE() << "cannot give nobody a home";
        return false;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), QString::fromStdString(home.path()));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(home / ".config"));
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(QStringLiteral("/")); // root's own folders are closed to nobody
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("/usr/bin/setpriv"),
                {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
                 QStringLiteral("--"), QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
                 QStringLiteral("--gtest_filter=") + QString::fromStdString(filter)});
    const bool ended = child.waitForFinished(240000);
    const std::string output = child.readAll().toStdString();
    EXPECT_TRUE(ended) << "the case as nobody did not end within four minutes:\n" << output;
    EXPECT_EQ(child.exitCode(), 0) << "the case as nobody:\n" << output;
    // The case really ran there (it was neither filtered out nor skipped).
    EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
    return false;
}

} // namespace faults
