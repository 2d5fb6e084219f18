#include "xml/Pages.h"

#include "support/PathOps.h"
#include "support/StringOps.h"

#include <algorithm>

namespace {

// Shared look of the pages made here: system fonts, light and dark.
const char* const kPageStyle = R"CSS(
:root{color-scheme:light dark;--bg:#ffffff;--fg:#1f2328;--muted:#59636e;--line:#d1d9e0;
--panel:#f6f8fa;--accent:#0969da;--bad:#cf222e;--badbg:#ffebe9;--tag:#116329;--attr:#953800;
--val:#0a3069;--com:#6e7781;--pi:#8250df}
@media (prefers-color-scheme:dark){:root{--bg:#0d1117;--fg:#e6edf3;--muted:#9198a1;--line:#30363d;
--panel:#151b23;--accent:#4493f8;--bad:#ff7b72;--badbg:#2d1214;--tag:#7ee787;--attr:#ffa657;
--val:#a5d6ff;--com:#8b949e;--pi:#d2a8ff}}
html{background:var(--bg);color:var(--fg)}
body{margin:0;padding:20px 24px;font:14px/1.5 system-ui,-apple-system,"Segoe UI",Roboto,"Noto Sans",
"Helvetica Neue",Arial,sans-serif}
code,pre,.xml{font-family:ui-monospace,SFMono-Regular,"SF Mono",Menlo,Consolas,"Liberation Mono",monospace}
h1{font-size:20px;margin:0 0 12px}
h2{font-size:15px;margin:20px 0 8px}
.problem{border:1px solid var(--bad);background:var(--badbg);border-radius:8px;padding:12px 16px}
.problem p{margin:6px 0}
.where{color:var(--muted)}
.where code{color:var(--fg);word-break:break-all}
pre{background:var(--panel);border:1px solid var(--line);border-radius:6px;padding:10px 12px;
white-space:pre-wrap;overflow-wrap:anywhere;font-size:12.5px;margin:0}
)CSS";

} // namespace

std::string pageStart(const std::string& title, const char* extraStyle)
{
    std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>";
    AppendHtmlEscaped(page, title);
    page += "</title>\n<style>";
    page += kPageStyle;
    page += extraStyle;
    page += "</style></head>\n<body>\n";
    return page;
}

RenderResult failure(const Problem& problem)
{
    // The processor's messages quote pieces of the document, which need not
    // be UTF-8 (that may be why it failed); the page must be.
    const std::string messages = quotable(problem.messages);
    RenderResult result;
    result.ok = false;
    result.error = problem.explanation;
    if (!problem.stylesheet.empty())
        result.error += "\nStylesheet: " + problem.stylesheet;
    if (!problem.document.empty())
        result.error += "\nDocument: " + problem.document;
    if (!messages.empty())
        result.error += "\n" + messages;

    std::string& page = result.html;
    page = pageStart(problem.title);
    page += "<div class=\"problem\">\n<h1>";
    AppendHtmlEscaped(page, problem.title);
    page += "</h1>\n<p>";
    AppendHtmlEscaped(page, problem.explanation);
    page += "</p>\n";
    if (!problem.stylesheet.empty()) {
        page += "<p class=\"where\">Stylesheet: <code>";
        AppendHtmlEscaped(page, DecodeFileNameUtf8(problem.stylesheet));
        page += "</code></p>\n";
    }
    if (!problem.document.empty()) {
        page += "<p class=\"where\">Document: <code>";
        AppendHtmlEscaped(page, DecodeFileNameUtf8(problem.document));
        page += "</code></p>\n";
    }
    page += "</div>\n";
    if (!messages.empty()) {
        page += "<h2>Messages of the XML and XSLT processor</h2>\n<pre>";
        AppendHtmlEscaped(page, messages);
        page += "</pre>\n";
    }
    if (!problem.source.empty()) {
        page += "<h2>Text of the document</h2>\n<pre>";
        AppendHtmlEscaped(page, problem.source);
        page += "</pre>\n";
    }
    page += "</body></html>\n";
    return result;
}

// A document's text for an error page: UTF-8 (bytes that are not are read
// as Latin-1) and at most 512 KB, so that a huge file still gives a page.
std::string quotable(std::string_view bytes)
{
    constexpr std::size_t limit = 512 * 1024;
    std::size_t size = std::min(bytes.size(), limit);
    while (size > 0 && size < bytes.size() && (static_cast<unsigned char>(bytes[size]) & 0xC0) == 0x80)
        --size; // not inside a UTF-8 sequence
    const std::string_view shown = bytes.substr(0, size);
    std::string text;
    if (IsValidUtf8(shown)) {
        text = shown;
    } else {
        text.reserve(shown.size() + shown.size() / 4);
        for (const char ch : shown) {
            const auto byte = static_cast<unsigned char>(ch);
            if (byte < 0x80) {
                text += ch;
            } else {
                text += static_cast<char>(0xC0 | (byte >> 6));
                text += static_cast<char>(0x80 | (byte & 0x3F));
            }
        }
    }
    if (size < bytes.size())
        text += "\n[\xE2\x80\xA6 the rest of the file is not shown]";
    return text;
}

RenderResult NoMetadataPage(const std::string& dataPath, const std::string& metadataPath)
{
    const std::string name = DecodeFileNameUtf8(dataPath);
    RenderResult result;
    result.error = "No metadata for " + name;
    std::string& page = result.html;
    page = pageStart("No metadata");
    page += "<h1>No metadata</h1>\n<p>There is no metadata for <code>";
    AppendHtmlEscaped(page, name);
    page += "</code>.</p>\n<p class=\"where\">Its metadata file would be <code>";
    AppendHtmlEscaped(page, DecodeFileNameUtf8(metadataPath));
    page += "</code>.</p>\n</body></html>\n";
    return result;
}

RenderResult StartPage(const StartFacts& facts)
{
    RenderResult result;
    result.ok = true;
    std::string& page = result.html;
    page = pageStart("Atlasdesk", "table.keys td{padding:2px 16px 2px 0}table.keys td:first-child{white-space:nowrap}"
                                  "ul.counts{padding-left:20px}");
    if (facts.server.empty()) {
        page += "<h1>No server is connected</h1>\n"
                "<p>To browse a store of geodata, choose <b>Files &rarr; Connect to geodata server &rarr; New server...</b> "
                "and pick the folder at the root of the store, usually a mounted network share. The servers you "
                "connected to before are listed in the same menu, and the program opens the last one again at the "
                "next start.</p>\n<p class=\"where\">It can also be started on a folder: "
                "<code>AtlasdeskView /path/to/store</code></p>\n";
    } else {
        page += "<h1>";
        AppendHtmlEscaped(page, DecodeFileNameUtf8(facts.server));
        page += "</h1>\n<p>Select a data set in the tree to see its metadata here.</p>\n<ul class=\"counts\">\n";
        for (const std::string& line : facts.counts) {
            page += "<li>";
            AppendHtmlEscaped(page, line);
            page += "</li>\n";
        }
        page += "</ul>\n";
        page += "<h2>Search index</h2>\n<p>";
        AppendHtmlEscaped(page, facts.index.empty() ? std::string("Not built yet.") : facts.index);
        page += "</p>\n";
    }
    if (!facts.keys.empty()) {
        page += "<h2>Keys</h2>\n<table class=\"keys\">\n";
        for (const auto& [key, what] : facts.keys) {
            page += "<tr><td><kbd>";
            AppendHtmlEscaped(page, key);
            page += "</kbd></td><td>";
            AppendHtmlEscaped(page, what);
            page += "</td></tr>\n";
        }
        page += "</table>\n";
    }
    page += "</body></html>\n";
    return result;
}

RenderResult ErrorPage(const std::string& title, const std::string& explanation, const std::string& document)
{
    Problem problem;
    problem.title = title;
    problem.explanation = explanation;
    problem.document = document;
    return failure(problem);
}
