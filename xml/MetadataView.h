#pragma once
// One render job of the metadata pages: from the selected data set's
// metadata file to what its page shows. Takes paths and values only, touches
// no widget and no tree node, so it runs on any thread, also beside other
// jobs on the same scratch folder (each parses the document it wrote itself).
#include <QImage>

#include <atomic>
#include <memory>
#include <string>

#include "xml/XslTransform.h"

enum class MetadataPage { Rendered, Raw, Thumbnail };

// How far a job has come, for whoever waits for it. The job sets it on its
// worker; anyone reads it, on any thread.
class MetadataViewProgress {
public:
    // The metadata file's bytes are in: the folder that holds it has
    // answered, and what is left is this program's own parsing and
    // rendering.
    void setRead() noexcept { m_read.store(true, std::memory_order_release); }
    bool read() const noexcept { return m_read.load(std::memory_order_acquire); }

private:
    std::atomic<bool> m_read{false};
};

struct MetadataViewRequest {
    MetadataPage page = MetadataPage::Rendered;
    // The data set's file and its metadata file, as bytes.
    std::string dataPath;
    std::string metadataPath;
    // Rendered: the chosen stylesheet ("" when there is none) and the folder,
    // ending with '/', that receives "~Last Used.xsl" and "~TempXML.xml".
    std::string stylesheetPath;
    std::string scratchFolder;
    // Thumbnail: the element paths of the encoded picture and of its name
    // ("" when the configuration has none).
    std::string pictureElement;
    std::string pictureNameElement;
    // Rendered ahead of being asked for (see PreparedPages): the page is
    // made, but the scratch document "~TempXML.xml" is left as it is.
    bool ahead = false;
    // Told when the metadata file has been read; null when nobody asks.
    std::shared_ptr<MetadataViewProgress> progress;
};

struct MetadataView {
    MetadataViewRequest request;
    // False when no file exists at the metadata path; `page` then says so.
    bool hasMetadata = false;
    // Rendered and Raw: the page, the file it shows and the folder its
    // relative references resolve against (ends with '/').
    RenderResult page;
    std::string pagePath;
    std::string baseFolder;
    // Thumbnail: the decoded picture (null when there is none) and its name.
    QImage picture;
    std::string pictureName;
    // A failure to report in the error box, "" when none. The page stays as
    // it was (Rendered) or the picture stays empty (Thumbnail).
    std::string error;
    // The page was rendered ahead and kept (PreparedPages), not rendered
    // for this request.
    bool prepared = false;
};

// Runs the job (never throws); `request.progress`, when set, is told as
// soon as the metadata file has been read:
// - Rendered: copies the stylesheet to "~Last Used.xsl" in the scratch
//   folder (a failed copy is ignored), writes "~TempXML.xml" there
//   (writeTemporaryDocument, into a file of its own renamed over it once
//   parsed) and renders it through the stylesheet itself,
//   so that what the stylesheet includes or links relative to itself
//   resolves beside it, and an unchanged stylesheet comes from the cache.
//   A request rendered ahead leaves "~TempXML.xml" alone.
// - Raw: the metadata file as TransformFile shows it.
// - Thumbnail: reads the picture and its name from the metadata document;
//   the picture is recognised by its content (BMP, JPEG, PNG, GIF). A
//   document too large for the other pages is refused as they refuse it,
//   before it is read.
MetadataView RenderMetadataView(const MetadataViewRequest& request);

// The Metadata page's scratch files as a render of `request` leaves them,
// without the render: the stylesheet copied to "~Last Used.xsl" (a failed
// copy is ignored) and the document written to "~TempXML.xml" (through a
// file of its own renamed over it). For a page rendered ahead that is now
// shown. Throws EInOutError when the document cannot be written.
void WriteScratchFiles(const MetadataViewRequest& request);
