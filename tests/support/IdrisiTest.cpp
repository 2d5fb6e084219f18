#include "support/Errors.h"
#include "support/Idrisi.h"
#include "SupportTestUtil.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// One line of the environment file: the key in its 40-character column,
// then the value.
std::string envLine(const std::string& key, const std::string& value)
{
    std::string line = key;
    line.resize(40, ' ');
    return line + value + "\r\n";
}

// The filter as a dialog lists it: description, pattern, description, ...
std::string filterOf(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string result;
    for (const auto& [description, pattern] : entries)
        result += (result.empty() ? "" : "|") + description + "|" + pattern;
    return result;
}

class IdrisiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetIdrisiState();
        ASSERT_TRUE(m_dir.isValid());
    }
    void TearDown() override { ResetIdrisiState(); }
    void writeEnv(const std::string& content) { writeFile(m_dir.path() + "idrisi.env", content); }

    TempDir m_dir;
};

TEST_F(IdrisiTest, ProgramStartValues)
{
    EXPECT_EQ(IdrisiNamingScheme(), 1);
    const std::array<std::string, IdrisiExtensionCount> initial{
        ".doc", ".doc", ".img", ".img", ".vct", ".vdc", ".vct", ".vdc", ".smp", ".xpo",
        "./",   "_FQ",  "_BL",  "_NB",  "_QT",  "_NB",  "_ST",  "_CL",  "_CL"};
    EXPECT_EQ(IdrisiExtensions(), initial);
    EXPECT_TRUE(IdrisiMapFilter().empty());
}

TEST_F(IdrisiTest, WithoutEnvironmentFileSchemeOneApplies)
{
    writeEnv("");   // in another folder: must not be read
    LoadIdrisiEnvironment(m_dir.path() + "elsewhere/");

    EXPECT_EQ(IdrisiNamingScheme(), 1);
    const auto& e = IdrisiExtensions();
    const std::pair<int, std::string> expected[] = {
        {0, ".rdc"}, {1, ".rdc"}, {2, ".rst"}, {3, ".rst"}, {4, ".vct"},
        {5, ".vdc"}, {8, ".smp"}, {10, "./"},
    };
    for (const auto& [index, value] : expected)
        EXPECT_EQ(e[static_cast<std::size_t>(index)], value) << "entry " << index;

    EXPECT_EQ(IdrisiMapFilter(), filterOf({
                                     {"All maps (*.rst)", "*.rst"},
                                     {"Quantitative maps (*_QT)", "*_QT.rst"},
                                     {"Qualitative maps (*_BL, *_CL, *_CL)", "*_BL.rst;*_CL.rst;*_CL.rst"},
                                     {"Boolean maps (*_BL)", "*_BL.rst"},
                                     {"Freqency/Probability maps (_FQ)", "*_FQ.rst"},
                                     {"Count maps (*_NB)", "*_NB.rst"},
                                     {"Statistical maps (*_ST)", "*_ST.rst"},
                                     {"Category maps (*_CL)", "*_CL.rst"},
                                     {"All files (*.*)", "*.*"},
                                 }));
}

TEST_F(IdrisiTest, EnvironmentFileKeepsOnlyTheDataDirectory)
{
    writeEnv(envLine("default data drive", "  /mnt/idrisi \t")
             + envLine("default data path", " /projects/ ")
             + envLine("image file extension", " .raw ")
             + envLine("image documentation file ext.", " .txt ")
             + envLine("vector file extension", ".vx")
             + envLine("vector documentation file ext.", ".vxd")
             + envLine("Default Data Drive", "ignored: keys are case-sensitive"));
    LoadIdrisiEnvironment(m_dir.path());

    EXPECT_EQ(IdrisiNamingScheme(), 0);
    const auto& e = IdrisiExtensions();
    const std::pair<int, std::string> expected[] = {
        {0, ".doc"}, {1, ".doc"}, {2, ".img"}, {3, ".img"}, {4, ".vec"},
        {5, ".dvc"}, {8, ".smp"}, {10, "/mnt/idrisi/projects/"},
    };
    for (const auto& [index, value] : expected)
        EXPECT_EQ(e[static_cast<std::size_t>(index)], value) << "entry " << index;
    EXPECT_EQ(IdrisiMapFilter().substr(0, 62),
              "All maps (*.img)|*.img|Quantitative maps (*_QT)|*_QT.img|Quali");
    EXPECT_EQ(IdrisiMapFilter().find(".rst"), std::string::npos);
}

TEST_F(IdrisiTest, DataDirectoryFromTheKeyColumnRules)
{
    const struct {
        std::string name, content, expected;
    } cases[] = {
        {"no drive or path line", envLine("image file extension", ".rst"), ""},
        {"drive only", envLine("default data drive", "D:"), "D:"},
        {"later lines overwrite", envLine("default data path", "first/") + envLine("default data path", "second/"),
         "second/"},
        {"key inside another line's value column",
         envLine("project title", "the default data path of 2004"), "the default data path of 2004"},
        {"line of exactly 40 characters", envLine("default data path", "kept/") + envLine("default data path", ""),
         ""},
        {"line shorter than the key column", "default data path\n", ""},
        {"line ends without line break", "x\n" + envLine("default data drive", "E:").substr(0, 42), "E:"},
        {"two keys in one line", envLine("default data drive", "default data path"),
         "default data pathdefault data path"},
    };
    for (const auto& c : cases) {
        ResetIdrisiState();
        writeEnv(c.content);
        LoadIdrisiEnvironment(m_dir.path());
        EXPECT_EQ(IdrisiExtensions()[10], c.expected) << c.name;
        EXPECT_EQ(IdrisiNamingScheme(), 0) << c.name;
    }
}

TEST_F(IdrisiTest, ReadErrorLeavesTheStateAsItWas)
{
    SetIdrisiScheme(1);
    const std::string filterBefore = IdrisiMapFilter();
    const auto tableBefore = IdrisiExtensions();
    // Reading this file fails at once with an input/output error.
    ASSERT_EQ(::symlink("/proc/self/mem", (m_dir.path() + "idrisi.env").c_str()), 0);

    EXPECT_THROW(LoadIdrisiEnvironment(m_dir.path()), EInOutError);
    EXPECT_EQ(IdrisiMapFilter(), filterBefore);
    EXPECT_EQ(IdrisiExtensions(), tableBefore);
}

TEST_F(IdrisiTest, SetIdrisiScheme)
{
    SetIdrisiScheme(0);
    EXPECT_EQ(IdrisiExtensions()[2], ".img");
    SetIdrisiScheme(1);
    EXPECT_EQ(IdrisiExtensions()[2], ".rst");
    EXPECT_EQ(IdrisiExtensions()[5], ".vdc");

    // An unknown scheme is stored but keeps the extensions it finds.
    const auto tableBefore = IdrisiExtensions();
    const std::string filterBefore = IdrisiMapFilter();
    SetIdrisiScheme(7);
    EXPECT_EQ(IdrisiNamingScheme(), 7);
    EXPECT_EQ(IdrisiExtensions(), tableBefore);
    EXPECT_EQ(IdrisiMapFilter(), filterBefore);
}

} // namespace
