#pragma once
// Runs the render jobs of the Metadata, XML and Thumbnail pages on a worker
// and hands back only the answer to the newest request of each page: an
// older answer that comes in late is dropped, and a request that is still
// waiting when a newer one is made is never started.
//
// Each instance has its own scratch folder for the Metadata page's
// "~Last Used.xsl" and "~TempXML.xml": a new folder per window under the
// user's cache location, removed when the window goes. All jobs of all
// windows run one after another on one worker thread.
#include <QObject>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "MetadataView.h"

class QTemporaryDir;

class MetadataViews : public QObject {
    Q_OBJECT
public:
    explicit MetadataViews(QObject* parent = nullptr);
    ~MetadataViews() override;

    // Starts the job for `request` (its page says which); forgets whatever
    // that page asked for before. Window thread only.
    void request(const MetadataViewRequest& request);
    // Forgets the pending request of `page`, if any, without a new one.
    void cancel(MetadataPage page);
    // True while a request of some page waits for its answer.
    bool busy() const;
    // The scratch folder, ending with '/'; "" when none could be made (the
    // Metadata page then reports that it cannot write its document).
    const std::string& scratchFolder() const { return m_scratchFolder; }

signals:
    // The answer to the newest request of its page (window thread).
    void ready(const MetadataView& view);

private:
    struct Channel;
    void deliver(std::uint64_t generation, const MetadataView& view);

    std::shared_ptr<Channel> m_channel;          // shared with the jobs; guarded inside
    std::array<std::uint64_t, 3> m_newest{};      // window thread only: newest generation per page
    std::array<bool, 3> m_waiting{};              // window thread only
    std::unique_ptr<QTemporaryDir> m_scratch;     // window thread only (jobs get its path)
    std::string m_scratchFolder;                  // window thread only
};
