#pragma once
// Pages rendered ahead: while the user looks at a data set, the pages of the
// rows next to it are rendered and kept here, so that moving on through the
// tree with the arrow keys shows the next page without waiting for its
// render.
//
// A kept page is served only while the files it was made from are
// unchanged, checked when it is taken: the metadata file holds the very
// bytes the page was made from (a file rewritten within the same tick of the
// file system's clock, at the same size, keeps its times and size), and the
// stylesheet keeps its identity (support/FileIdentity.h), as the parsed
// stylesheets do. A page whose files changed is dropped and rendered anew.
// Taking a Metadata page writes its scratch files as its render would have
// (WriteScratchFiles), so "~TempXML.xml" always holds the document of the
// page shown.
//
// Only pages of the Metadata and XML pages that rendered without error are
// kept, at most `capacity` of them (the oldest go first), each with the
// bytes of its metadata file: a few megabytes at most. An XML page is kept
// only when its document names no stylesheet of its own.
//
// Threads: any thread; the members lock one mutex, the render and the file
// work run outside it.
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <optional>

#include "support/FileIdentity.h"
#include "xml/MetadataView.h"

class PreparedPages {
public:
    using Render = std::function<MetadataView(const MetadataViewRequest&)>;

    explicit PreparedPages(std::size_t capacity = 6) : m_capacity(capacity) {}

    // Renders the page of `request` with `render` (given the request marked
    // as rendered ahead) and keeps it, unless the same page is kept already
    // and its files are unchanged. True when it is kept now.
    bool prepare(const MetadataViewRequest& request, const Render& render);
    // The kept page of `request` with its scratch files written, when its
    // files are unchanged; nothing when there is none (a page whose files
    // changed is dropped). The page stays kept.
    std::optional<MetadataView> take(const MetadataViewRequest& request);
    // Forgets every page.
    void clear();
    std::size_t size() const;

private:
    // What a page is made from.
    struct Sources {
        std::string metadata;   // the metadata file's bytes
        FileIdentity stylesheet;
        bool operator==(const Sources&) const = default;
    };
    struct Entry {
        Sources sources;
        MetadataView view;
    };
    // What `request` renders from now; false when a file is not there or
    // cannot be read.
    static bool sources(const MetadataViewRequest& request, Sources& out);
    // Whether a page of `request` made from `metadata` may be kept.
    static bool keepable(const MetadataViewRequest& request, const std::string& metadata);
    static bool samePage(const MetadataViewRequest& a, const MetadataViewRequest& b);
    // Guarded by m_mutex:
    std::list<Entry>::iterator find(const MetadataViewRequest& request);
    // Drops the page of `request` if it was made from `made`.
    void drop(const MetadataViewRequest& request, const Sources& made);

    const std::size_t m_capacity;
    mutable std::mutex m_mutex;
    std::list<Entry> m_entries; // newest first
};
