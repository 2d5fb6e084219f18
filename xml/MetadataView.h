#pragma once
// One render job of the metadata pages: from the selected data set's
// metadata file to what its page shows. Takes paths and values only, touches
// no widget and no tree node, so it runs on any thread, also beside other
// jobs on the same scratch folder (each parses the document it wrote itself).
#include <QImage>

#include <string>

#include "xml/XslTransform.h"

enum class MetadataPage { Rendered, Raw, Thumbnail };

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

// Runs the job (never throws):
// - Rendered: copies the stylesheet to "~Last Used.xsl" in the scratch
//   folder (a failed copy is ignored), writes "~TempXML.xml" there
//   (writeTemporaryDocument, into a file of its own renamed over it once
//   parsed) and renders it through the stylesheet itself,
//   so that what the stylesheet includes or links relative to itself
//   resolves beside it, and an unchanged stylesheet comes from the cache.
//   A request rendered ahead leaves "~TempXML.xml" alone.
// - Raw: the metadata file as TransformFile shows it.
// - Thumbnail: reads the picture and its name from the metadata document;
//   the picture is recognised by its content (BMP, JPEG, PNG, GIF).
MetadataView RenderMetadataView(const MetadataViewRequest& request);

// The Metadata page's scratch files as a render of `request` leaves them,
// without the render: the stylesheet copied to "~Last Used.xsl" (a failed
// copy is ignored) and the document written to "~TempXML.xml" (through a
// file of its own renamed over it). For a page rendered ahead that is now
// shown. Throws EInOutError when the document cannot be written.
void WriteScratchFiles(const MetadataViewRequest& request);
