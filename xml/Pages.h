#pragma once
// The pages the views make themselves: the look they share, error pages
// that explain what went wrong and quote the processor, and the page of an
// item without metadata.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct RenderResult {
    // UTF-8 HTML, never empty: the rendered page, or a page that explains
    // what went wrong and quotes the processor's messages.
    std::string html;
    // False when the document or the stylesheet could not be used.
    bool ok = false;
    // The explanation shown on the error page; empty when ok.
    std::string error;
};

// The short page of a data set or directory without metadata: names the
// item (`dataPath`) and the metadata file that does not exist. ok is false.
RenderResult NoMetadataPage(const std::string& dataPath, const std::string& metadataPath);

// What the start page tells: shown while nothing is selected. Texts are
// UTF-8; `server` is the root as bytes ("" when none is connected).
struct StartFacts {
    std::string server;
    std::vector<std::string> counts;     // one line each: "Items: 12 in the tree", ...
    std::string index;                   // the state of the search index ("" when unknown)
    std::vector<std::pair<std::string, std::string>> keys; // key, what it does
};

// The start page: the server with its counts and the state of its search
// index, or how to connect one; then the keys that matter. ok is true.
RenderResult StartPage(const StartFacts& facts);

// An error page of the views: a heading, one or two sentences and the
// document concerned ("" for none). ok is false.
RenderResult ErrorPage(const std::string& title, const std::string& explanation, const std::string& document);

// What went wrong, for an error page.
struct Problem {
    std::string title;       // the page's heading
    std::string explanation; // one or two sentences
    std::string stylesheet;  // path of the stylesheet concerned, if any
    std::string document;    // path of the document concerned, if any
    std::string messages;    // the processor's own words, if any
    std::string source;      // text quoted below the messages, if any
};

// The error page of `problem`; ok is false, error holds the explanation,
// the paths and the messages.
RenderResult failure(const Problem& problem);

// The start of a page of ours up to <body>, with the shared look and
// `extraStyle` (CSS).
std::string pageStart(const std::string& title, const char* extraStyle = "");

// A document's text for an error page: UTF-8 (bytes that are not are read
// as Latin-1) and at most 512 KB, so that a huge file still gives a page.
std::string quotable(std::string_view bytes);
