#include "support/Errors.h"
#include "support/HTMLlogOps.h"
#include "support/PathOps.h"
#include "SupportTestUtil.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class HTMLlogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_log.LogFile = m_dir.path() + "report.html";
        writeFile(m_log.LogFile, "");
    }
    // Makes the log's browser record every file it is sent to.
    void attachBrowser()
    {
        m_log.Browser = [this](const std::string& path) { m_shown.push_back(path); };
    }

    TempDir m_dir;
    tHTMLLog m_log;
    std::vector<std::string> m_shown;
};

TEST_F(HTMLlogTest, LinesEndWithBreakAndCrLf)
{
    AddLineBR(m_log, "a");
    AddLineBR(m_log, "b");
    EXPECT_EQ(readFile(m_log.LogFile), "a<BR>\r\nb<BR>\r\n");
}

TEST_F(HTMLlogTest, AddLineAppendsToWhatIsThere)
{
    writeFile(m_log.LogFile, "<HTML>\r\n");
    AddLine(m_log, "Upload started");
    AddLine(m_log, "");
    EXPECT_EQ(readFile(m_log.LogFile), "<HTML>\r\nUpload started\r\n\r\n");
}

TEST_F(HTMLlogTest, TextIsEscapedButTheBreakIsMarkup)
{
    const struct {
        std::string text, line, lineBR;
    } cases[] = {
        {"/data/a<b>.shp", "/data/a&lt;b&gt;.shp\r\n", "/data/a&lt;b&gt;.shp<BR>\r\n"},
        {"roads & rails", "roads &amp; rails\r\n", "roads &amp; rails<BR>\r\n"},
        {"&amp;", "&amp;amp;\r\n", "&amp;amp;<BR>\r\n"},
        {"<BR>", "&lt;BR&gt;\r\n", "&lt;BR&gt;<BR>\r\n"},
        {"plain \xc3\xa9", "plain \xc3\xa9\r\n", "plain \xc3\xa9<BR>\r\n"},
    };
    for (const auto& c : cases) {
        writeFile(m_log.LogFile, "");
        AddLine(m_log, c.text);
        EXPECT_EQ(readFile(m_log.LogFile), c.line) << c.text;
        writeFile(m_log.LogFile, "");
        AddLineBR(m_log, c.text);
        EXPECT_EQ(readFile(m_log.LogFile), c.lineBR) << c.text;
    }
}

// The log is UTF-8 throughout: a line holding a path whose file name is
// Latin-1 (in a UTF-8 folder) is written with that name decoded as the
// tree shows it; valid UTF-8 passes unchanged.
TEST_F(HTMLlogTest, LinesAreUtf8WhateverTheBytesOfTheNames)
{
    const struct {
        std::string text, line;
    } cases[] = {
        {"- File ignored (no XML found): /srv/donn\xc3\xa9" "es/for\xeat.shp.xml",
         "- File ignored (no XML found): /srv/donn\xc3\xa9" "es/for\xc3\xaat.shp.xml<BR>\r\n"},
        {"/srv/r\xe9seau & co/\x96 tiret", "/srv/r\xc3\xa9seau &amp; co/\xe2\x80\x93 tiret<BR>\r\n"},
        {"/srv/d\xc3\xa9j\xc3\xa0/vu", "/srv/d\xc3\xa9j\xc3\xa0/vu<BR>\r\n"},
    };
    for (const auto& c : cases) {
        writeFile(m_log.LogFile, "");
        AddLineBR(m_log, c.text);
        EXPECT_EQ(readFile(m_log.LogFile), c.line) << c.text;
    }
}

// A new or empty log starts with the head that declares UTF-8; a log that
// holds lines is appended to as it is.
TEST_F(HTMLlogTest, CreateLogFileDeclaresTheCharacterSet)
{
    const std::string fresh = m_dir.path() + "fresh.html";
    createLogFile(fresh);
    EXPECT_EQ(readFile(fresh), LogFileHead);
    EXPECT_NE(std::string(LogFileHead).find("<meta charset=\"utf-8\">"), std::string::npos);

    createLogFile(m_log.LogFile);  // exists, empty
    AddLineBR(m_log, "a");
    EXPECT_EQ(readFile(m_log.LogFile), std::string(LogFileHead) + "a<BR>\r\n");
    createLogFile(m_log.LogFile);  // holds a line: left as it is
    AddLineBR(m_log, "b");
    EXPECT_EQ(readFile(m_log.LogFile), std::string(LogFileHead) + "a<BR>\r\nb<BR>\r\n");

    const std::string nowhere = m_dir.path() + "no/such/folder/log.html";
    try {
        createLogFile(nowhere);
        ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find(nowhere), std::string::npos) << e.what();
    }
    EXPECT_FALSE(FileExists(nowhere));
}

TEST_F(HTMLlogTest, MissingLogFileIsAnErrorAndIsNotCreated)
{
    attachBrowser();
    m_log.AutoShow = true;
    m_log.LogFile = m_dir.path() + "missing.html";
    for (auto add : {&AddLine, &AddLineBR}) {
        try {
            add(m_log, "line");
            ADD_FAILURE() << "no error";
        } catch (const EInOutError& e) {
            EXPECT_NE(std::string(e.what()).find(m_log.LogFile), std::string::npos) << e.what();
        }
    }
    EXPECT_FALSE(FileExists(m_log.LogFile));
    EXPECT_TRUE(m_shown.empty());
}

TEST_F(HTMLlogTest, AutoShowRefreshesTheBrowserAfterEveryLine)
{
    const struct {
        bool autoShow, browser;
        std::size_t shown;
    } cases[] = {
        {true, true, 2},
        {false, true, 0},
        {true, false, 0},
        {false, false, 0},
    };
    for (const auto& c : cases) {
        writeFile(m_log.LogFile, "");
        m_shown.clear();
        m_log.AutoShow = c.autoShow;
        m_log.Browser = nullptr;
        if (c.browser)
            attachBrowser();
        AddLineBR(m_log, "a");
        AddLine(m_log, "b");
        EXPECT_EQ(readFile(m_log.LogFile), "a<BR>\r\nb\r\n");
        EXPECT_EQ(m_shown.size(), c.shown) << c.autoShow << c.browser;
        for (const auto& path : m_shown)
            EXPECT_EQ(path, m_log.LogFile);
    }
}

TEST_F(HTMLlogTest, ShowLogSendsTheBrowserToTheFile)
{
    ShowLog(m_log);   // no browser: nothing happens
    attachBrowser();
    ShowLog(m_log);
    EXPECT_EQ(m_shown, std::vector<std::string>{m_log.LogFile});
}

} // namespace
