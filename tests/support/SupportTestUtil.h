#pragma once
// Small file fixtures for the support library tests.
#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <iterator>
#include <string>
#include <unistd.h>

// A fresh directory, removed with its contents at the end of the test.
// Removal works on byte names, so files whose names are no valid UTF-8 go
// too, and links are removed, never followed.
class TempDir {
public:
    TempDir()
    {
        const char* base = std::getenv("TMPDIR");
        std::string templ = std::string(base && *base ? base : "/tmp") + "/atlasdesk-test-XXXXXX";
        if (::mkdtemp(templ.data()))
            m_path = templ + "/";
    }
    ~TempDir()
    {
        if (!m_path.empty())
            ::nftw(m_path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory path with its trailing separator.
    std::string path() const { return m_path; }
    bool isValid() const { return !m_path.empty(); }

private:
    static int removeEntry(const char* path, const struct stat*, int, struct FTW*)
    {
        ::remove(path);
        return 0;
    }

    std::string m_path;
};

inline void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
