// SqlEscape against the real server: thousands of random texts, escaped and
// inserted, read back as SqlEscape documents them (the text itself, with
// every pair of line feeds turned into "<br>") and never an SQL error.
//
// Two paths, because the product's path carries text, not bytes:
//  - Utf8TextThroughTheProductsPath: valid UTF-8 texts through the data
//    module's execute (the statement goes to Qt SQL as a QString, on a
//    utf8mb4 session) into a TEXT column. This is every value the catalogue
//    writes; bytes that are not UTF-8 cannot survive the QString.
//  - ArbitraryBytesThroughAByteExactClient: NUL-free bytes of any value,
//    valid UTF-8 or not, through the mariadb command-line client in binary
//    mode (bytes go to the server untouched) into a BLOB column. This shows
//    that the escaping itself holds for any byte string the server parses.
// Both sessions read backslashes as escapes (the catalogue session turns
// NO_BACKSLASH_ESCAPES off, and so does the client's first statement); on
// utf8mb4 and binary sessions no multi-byte character can end in a
// backslash, so escaping byte by byte is sound.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "catalogue/CatalogueOps.h"
#include "support/StringOps.h"
#include "TestDatabase.h"
#include "catalogue/dmAtlasdeskU.h"

namespace {

constexpr int kCases = 3000;

std::string hex(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        out += digits[byte >> 4];
        out += digits[byte & 0xF];
    }
    return out;
}

// What the server holds after inserting '<SqlEscape(text)>'.
std::string documented(const std::string& text)
{
    return ReplaceAll(text, "\n\n", "<br>");
}

// Random texts built from pieces that matter to SQL, to the client and to
// UTF-8, with a fixed seed so that a failure can be repeated.
class TextSource {
public:
    explicit TextSource(uint32_t seed) : m_random(seed) {}

    std::string utf8Text()
    {
        static const char* const pieces[] = {
            "'", "\\", "\n", "\r", "\t", "\"", "`", "%", "_", ";", "--", "/*", "*/", "#", "\x1a",
            "\\'", "''", "\\\\", "\\n", "\\0", "\\%", "\n\n", "\n\n\n", "<br>", "a", "Z", "0", " ",
            "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9D\x84\x9E", "\xEF\xBF\xBD", "\xE2\x80\xA8", "\xE6\x97\xA5\xE6\x9C\xAC",
            "\x01", "\x7F", "'); DROP TABLE Main; --", "\\'; SELECT 1; --", "?", ":name", "$1"};
        std::string text;
        const int count = pick(0, 24);
        for (int i = 0; i < count; ++i)
            text += pieces[pick(0, static_cast<int>(std::size(pieces)) - 1)];
        return text;
    }

    std::string bytes()
    {
        // Mostly bytes that could confuse a parser: quotes, backslashes,
        // line ends, lead and continuation bytes (0xBF 0x5C is the classic
        // trap of multi-byte character sets), and any other non-NUL byte.
        static const unsigned char special[] = {'\'', '\\', '\n', '\r', '"', 0x1A, 0x5C, 0xBF, 0xA1, 0x81,
                                                0xC0, 0xE0, 0xF0, 0xFF, 0x80, ';', '%', '_'};
        std::string text;
        const int count = pick(0, 64);
        for (int i = 0; i < count; ++i) {
            if (pick(0, 2) == 0)
                text += static_cast<char>(pick(1, 255));
            else
                text += static_cast<char>(special[pick(0, static_cast<int>(std::size(special)) - 1)]);
        }
        return text;
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
    std::mt19937 m_random;
};

class SqlEscapePropertyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ATLASDESK_TEST_SERVER_ACCOUNT(account)
        m_account = *account;
        try {
            m_db.emplace(*account);
            m_db->exec("CREATE TABLE Escapes (id INT PRIMARY KEY, t TEXT CHARACTER SET utf8mb4 COLLATE utf8mb4_bin, "
                       "b BLOB)");
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
    }

    // Every id with HEX of `column`, in id order.
    std::vector<std::pair<int, std::string>> stored(const char* column)
    {
        std::vector<std::pair<int, std::string>> rows;
        for (const auto& row : m_db->rows(std::string("SELECT id, HEX(") + column + ") FROM Escapes ORDER BY id"))
            rows.emplace_back(std::stoi(row[0]), row[1]);
        return rows;
    }

    cattest::ServerAccount m_account;
    std::optional<cattest::TestDatabase> m_db;
};

TEST_F(SqlEscapePropertyTest, Utf8TextThroughTheProductsPath)
{
    TextSource source(20240601);
    std::vector<std::string> texts;
    TdmAtlasdesk dm;
    dm.setConnectionSettings(m_db->settings());
    dm.open();
    for (int i = 0; i < kCases; ++i) {
        texts.push_back(source.utf8Text());
        try {
            dm.execute("INSERT INTO Escapes(id, t) VALUES (" + std::to_string(i) + ",'" + SqlEscape(texts.back()) + "')");
        } catch (const std::exception& e) {
            ADD_FAILURE() << "case " << i << " [" << texts.back() << "]: " << e.what();
        }
    }
    dm.close();

    const auto rows = stored("t");
    ASSERT_EQ(rows.size(), texts.size()) << "one row per statement, no more";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].first, static_cast<int>(i));
        EXPECT_EQ(rows[i].second, hex(documented(texts[i]))) << "case " << i << " [" << texts[i] << "]";
    }
    EXPECT_EQ(m_db->scalar("SELECT COUNT(*) FROM Main"), "0") << "no statement reached another table";
}

TEST_F(SqlEscapePropertyTest, ArbitraryBytesThroughAByteExactClient)
{
    TextSource source(19700101);
    std::vector<std::string> texts;
    std::string script = "SET SESSION sql_mode='';\n";
    for (int i = 0; i < kCases; ++i) {
        texts.push_back(source.bytes());
        script += "INSERT INTO Escapes(id, b) VALUES (" + std::to_string(i) + ",'" + SqlEscape(texts.back()) + "');\n";
    }

    QProcess client;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("MYSQL_PWD", QString::fromStdString(m_account.password));
    client.setProcessEnvironment(environment);
    client.start("mariadb", {"--no-defaults", "--binary-mode", "--default-character-set=binary", "--batch",
                             "--host=" + QString::fromStdString(m_account.host),
                             "--port=" + QString::number(m_account.port),
                             "--user=" + QString::fromStdString(m_account.user),
                             QString::fromStdString(m_db->name())});
    ASSERT_TRUE(client.waitForStarted(30000)) << "the mariadb client is needed: " << client.errorString().toStdString();
    client.write(script.data(), static_cast<qint64>(script.size()));
    client.closeWriteChannel();
    ASSERT_TRUE(client.waitForFinished(120000));
    const std::string errors = client.readAllStandardError().toStdString();
    EXPECT_EQ(client.exitCode(), 0) << errors;
    EXPECT_EQ(errors, "") << "no statement failed";

    const auto rows = stored("b");
    ASSERT_EQ(rows.size(), texts.size()) << "one row per statement, no more";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].first, static_cast<int>(i));
        EXPECT_EQ(rows[i].second, hex(documented(texts[i]))) << "case " << i << " [" << hex(texts[i]) << "]";
    }
    EXPECT_EQ(m_db->scalar("SELECT COUNT(*) FROM Main"), "0") << "no statement reached another table";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
