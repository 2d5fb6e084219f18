#include "support/PathOps.h"

#include <sys/stat.h>

#include <QString>
#include <QStringDecoder>

#include "support/StringOps.h"

std::string ExtractFilePath(std::string_view path)
{
    const std::size_t sep = path.rfind(PathDelim);
    if (sep == std::string_view::npos)
        return {};
    return std::string(path.substr(0, sep + 1));
}

std::string ExtractFileName(std::string_view path)
{
    const std::size_t sep = path.rfind(PathDelim);
    if (sep == std::string_view::npos)
        return std::string(path);
    return std::string(path.substr(sep + 1));
}

namespace {

// Position of the extension's dot in the last component, or npos.
std::size_t extensionDot(std::string_view path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos)
        return dot;
    const std::size_t sep = path.rfind(PathDelim);
    // A dot in a folder name ("a.b/c") is no extension of the file.
    if (sep != std::string_view::npos && sep > dot)
        return std::string_view::npos;
    return dot;
}

} // namespace

std::string ExtractFileExt(std::string_view path)
{
    const std::size_t dot = extensionDot(path);
    if (dot == std::string_view::npos)
        return {};
    return std::string(path.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext)
{
    const std::size_t dot = extensionDot(path);
    std::string result(path.substr(0, dot == std::string_view::npos ? path.size() : dot));
    result.append(ext);
    return result;
}

std::string IncludeTrailingPathDelimiter(std::string_view path)
{
    std::string result(path);
    if (result.empty() || result.back() != PathDelim)
        result.push_back(PathDelim);
    return result;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path)
{
    if (path.size() > 1 && path.back() == PathDelim)
        path.remove_suffix(1);
    return std::string(path);
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string CatalogueSeparators(std::string_view path)
{
    std::string result(path);
    for (char& c : result) {
        if (c == '/')
            c = '\\';
    }
    return result;
}

namespace {

// One component: UTF-8 when valid, windows-1252 otherwise.
QString decodeComponent(std::string_view bytes)
{
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (IsValidUtf8(bytes))
        return QString::fromUtf8(view);
    QStringDecoder legacy("windows-1252");
    return legacy.isValid() ? QString(legacy(view)) : QString::fromLatin1(view);
}

} // namespace

QString DecodeFileName(std::string_view bytes)
{
    // Whole-path shortcut: most names are UTF-8 throughout.
    if (IsValidUtf8(bytes))
        return QString::fromUtf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    QString text;
    size_t start = 0;
    while (true) {
        const size_t slash = bytes.find(PathDelim, start);
        text += decodeComponent(bytes.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
        if (slash == std::string_view::npos)
            break;
        text += QLatin1Char(PathDelim);
        start = slash + 1;
    }
    return text;
}

std::string DecodeFileNameUtf8(std::string_view bytes)
{
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    return DecodeFileName(bytes).toStdString();
}
