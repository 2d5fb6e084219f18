// The searching account's password in the desktop's keyring. Run by
// scripts/with-keyring.sh: once with a keyring of its own (a private D-Bus
// session and GNOME Keyring, HOME in a temporary folder), once with no
// session bus at all; ATLASDESK_TEST_KEYRING says which.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QTest>

#include <filesystem>
#include <optional>

#include "catalogue/KeyringPassword.h"
#include "TestUtil.h"

namespace {

const QString kSecret = QStringLiteral("s3cret-of-the-searching-account");

bool keyringPresent()
{
    return qgetenv("ATLASDESK_TEST_KEYRING") == "present";
}

std::string why()
{
    const QByteArray state = qgetenv("ATLASDESK_TEST_KEYRING");
    return state.isEmpty() ? "not run by scripts/with-keyring.sh" : state.toStdString();
}

keyring::ReadResult readBack(const QString& key)
{
    QObject context;
    std::optional<keyring::ReadResult> result;
    keyring::read(key, &context, [&](const keyring::ReadResult& r) { result = r; });
    if (!QTest::qWaitFor([&] { return result.has_value(); }, 30000))
        ADD_FAILURE() << "the keyring did not answer";
    return result.value_or(keyring::ReadResult{});
}

QString written(const QString& key, const QString& password)
{
    QObject context;
    std::optional<QString> error;
    keyring::write(key, password, &context, [&](const QString& e) { error = e; });
    if (!QTest::qWaitFor([&] { return error.has_value(); }, 30000))
        return QStringLiteral("the keyring did not answer");
    return *error;
}

// Files below `folder` that hold `text` as it is.
std::vector<std::string> filesHolding(const std::string& folder, const QString& text)
{
    std::vector<std::string> found;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        if (it->is_regular_file(error) && testutil::readFile(it->path()).find(text.toStdString()) != std::string::npos)
            found.push_back(it->path());
    return found;
}

TEST(KeyringTest, APasswordIsKeptInTheKeyringReadBackAndForgotten)
{
    if (!keyringPresent()) {
        if (qgetenv("CI") == "true" && !qEnvironmentVariableIsSet("ATLASDESK_TEST_NO_KEYRING_EXPECTED"))
            FAIL() << "no keyring for the test: " << why();
        GTEST_SKIP() << "no keyring: " << why();
    }
    const QString key = keyring::accountKey("db1", 3306, "chartroom", "atlasdesk_search");
    EXPECT_EQ(readBack(key).kind, keyring::ReadResult::NotFound) << "a new keyring";
    ASSERT_EQ(written(key, kSecret), QString());
    const keyring::ReadResult found = readBack(key);
    ASSERT_EQ(found.kind, keyring::ReadResult::Found) << found.error.toStdString();
    EXPECT_EQ(found.password, kSecret);
    EXPECT_EQ(readBack(keyring::accountKey("db2", 3306, "chartroom", "atlasdesk_search")).kind,
              keyring::ReadResult::NotFound)
        << "another server's account";
    EXPECT_EQ(filesHolding(qEnvironmentVariable("HOME").toStdString(), kSecret), std::vector<std::string>{})
        << "the password is in no file as it is";

    QObject context;
    std::optional<QString> forgotten;
    keyring::forget(key, &context, [&](const QString& e) { forgotten = e; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return forgotten.has_value(); }, 30000));
    EXPECT_EQ(*forgotten, QString());
    EXPECT_EQ(readBack(key).kind, keyring::ReadResult::NotFound);
}

TEST(KeyringTest, WithoutAKeyringNothingIsKeptAndTheReadSaysWhy)
{
    if (keyringPresent())
        GTEST_SKIP() << "a keyring is there (the case runs without one)";
    const QString key = keyring::accountKey("db1", 3306, "chartroom", "atlasdesk_search");
    const QString error = written(key, kSecret);
    EXPECT_FALSE(error.isEmpty()) << "a write without a keyring is not reported as done";
    const keyring::ReadResult r = readBack(key);
    EXPECT_TRUE(r.kind == keyring::ReadResult::NoKeyring || r.kind == keyring::ReadResult::Failed) << r.kind;
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_TRUE(r.password.isEmpty());
    EXPECT_EQ(filesHolding(qEnvironmentVariable("HOME").toStdString(), kSecret), std::vector<std::string>{})
        << "no plain-text fallback";
}

} // namespace

int main(int argc, char** argv)
{
    // The keyring's jobs answer through the event loop.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
