#pragma once
// Small helpers shared by the tests: temporary trees and file contents.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testutil {

// A fresh directory under /tmp, removed with everything in it at the end.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "atlasdesk-test-XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        if (!made)
            std::abort();
        m_path = made;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory with a trailing '/'.
    std::string path() const { return m_path + "/"; }
    // path() + relative.
    std::string operator/(const std::string& relative) const { return path() + relative; }

private:
    std::string m_path;
};

inline void writeFile(const std::string& path, const std::string& content)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void makeDir(const std::string& path)
{
    std::filesystem::create_directories(path);
}

inline bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The names in the directory `path`, sorted.
inline std::vector<std::string> entries(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs a block with another current directory, restoring it afterwards.
class ChangeDir {
public:
    explicit ChangeDir(const std::string& dir) : m_old(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    ~ChangeDir() { std::filesystem::current_path(m_old); }

private:
    std::filesystem::path m_old;
};

} // namespace testutil

#ifdef QT_CORE_LIB
#include <QString>
#include <QStringList>
#include <ostream>
// Readable QString values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '{';
    for (const QString& s : list)
        *os << '"' << s.toStdString() << "\" ";
    *os << '}';
}
#endif
