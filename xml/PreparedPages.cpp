#include "xml/PreparedPages.h"

#include "support/FileOps.h"

#include <exception>

bool PreparedPages::sources(const MetadataViewRequest& request, Sources& out)
{
    if (request.page == MetadataPage::Raw)
        return ReadRegularFile(request.metadataPath, out.metadata);
    // Without a chosen stylesheet the page renders through the copy the
    // previous one left.
    const std::string stylesheet =
        request.stylesheetPath.empty() ? request.scratchFolder + "~Last Used.xsl" : request.stylesheetPath;
    return identify(stylesheet, out.stylesheet) && ReadRegularFile(request.metadataPath, out.metadata);
}

bool PreparedPages::keepable(const MetadataViewRequest& request, const std::string& metadata)
{
    switch (request.page) {
    case MetadataPage::Rendered:
        return !request.scratchFolder.empty();
    case MetadataPage::Raw:
        // The XML page of a document that names a stylesheet of its own is
        // rendered through it, a file this does not watch. A UTF-16
        // document (NUL bytes) might name one in a way not searched for.
        return metadata.find("xml-stylesheet") == std::string::npos && metadata.find('\0') == std::string::npos;
    case MetadataPage::Thumbnail:
        break;
    }
    return false;
}

bool PreparedPages::samePage(const MetadataViewRequest& a, const MetadataViewRequest& b)
{
    return a.page == b.page && a.metadataPath == b.metadataPath && a.dataPath == b.dataPath
           && a.stylesheetPath == b.stylesheetPath && a.scratchFolder == b.scratchFolder;
}

std::list<PreparedPages::Entry>::iterator PreparedPages::find(const MetadataViewRequest& request)
{
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        if (samePage(it->view.request, request))
            return it;
    return m_entries.end();
}

void PreparedPages::drop(const MetadataViewRequest& request, const Sources& made)
{
    const std::lock_guard lock(m_mutex);
    const auto it = find(request);
    if (it != m_entries.end() && it->sources == made)
        m_entries.erase(it);
}

bool PreparedPages::prepare(const MetadataViewRequest& request, const Render& render)
{
    Sources before;
    if (!sources(request, before) || !keepable(request, before.metadata))
        return false;
    {
        const std::lock_guard lock(m_mutex);
        const auto it = find(request);
        if (it != m_entries.end() && it->sources == before)
            return true;
    }
    MetadataViewRequest ahead = request;
    ahead.ahead = true;
    MetadataView view = render(ahead);
    // A file that changed while it was read may have given a page of
    // neither version.
    Sources after;
    if (!view.hasMetadata || !view.error.empty() || !view.page.ok || !sources(request, after) || !(after == before))
        return false;
    view.request = request;
    const std::lock_guard lock(m_mutex);
    if (const auto it = find(request); it != m_entries.end())
        m_entries.erase(it);
    m_entries.push_front(Entry{std::move(before), std::move(view)});
    while (m_entries.size() > m_capacity)
        m_entries.pop_back();
    return true;
}

std::optional<MetadataView> PreparedPages::take(const MetadataViewRequest& request)
{
    std::optional<Entry> kept;
    {
        const std::lock_guard lock(m_mutex);
        const auto it = find(request);
        if (it == m_entries.end())
            return std::nullopt;
        m_entries.splice(m_entries.begin(), m_entries, it);
        kept = *it;
    }
    Sources now;
    if (!sources(request, now) || !(now == kept->sources)) {
        drop(request, kept->sources);
        return std::nullopt;
    }
    if (request.page == MetadataPage::Rendered) {
        try {
            WriteScratchFiles(request);
        } catch (const std::exception&) {
            return std::nullopt; // rendered anew, which reports what went wrong
        }
    }
    // Changed while its document was written: that document is not the
    // page's.
    if (!sources(request, now) || !(now == kept->sources)) {
        drop(request, kept->sources);
        return std::nullopt;
    }
    MetadataView view = std::move(kept->view);
    view.request = request;
    view.prepared = true;
    return view;
}

void PreparedPages::clear()
{
    const std::lock_guard lock(m_mutex);
    m_entries.clear();
}

std::size_t PreparedPages::size() const
{
    const std::lock_guard lock(m_mutex);
    return m_entries.size();
}
