#include "xml/MetadataView.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>

#include "support/Errors.h"
#include "support/FileOps.h"
#include "support/PathOps.h"
#include "support/StringOps.h"
#include "xml/PreparedDocument.h"
#include "xml/TemporaryDocument.h"
#include "xml/XMLOps.h"

namespace {

// Tells whoever waits that the metadata file has been read.
std::function<void()> readTold(const MetadataViewRequest& request)
{
    if (!request.progress)
        return {};
    return [progress = request.progress] { progress->setRead(); };
}

std::string copyOfStylesheet(const MetadataViewRequest& request)
{
    if (request.scratchFolder.empty())
        throw EInOutError("There is no folder for the scratch files of the Metadata page");
    const std::string copy = request.scratchFolder + "~Last Used.xsl";
    if (!request.stylesheetPath.empty())
        CopyFileOver(request.stylesheetPath, copy); // a failed copy leaves the previous one
    return copy;
}

// A file of its own beside the scratch document, removed when this goes
// unless it was renamed over the document: each job writes one, so that a
// job that comes back late from a share that hung cannot mix its lines into
// the document a newer job reads.
class ScratchPart {
public:
    explicit ScratchPart(const std::string& document) : m_document(document), m_path(document + ".XXXXXX")
    {
        const int fd = ::mkstemp(m_path.data());
        if (fd < 0)
            throw EInOutError(CannotWrite(document, errno));
        ::close(fd);
    }
    ~ScratchPart()
    {
        if (!m_placed)
            ::unlink(m_path.c_str());
    }
    ScratchPart(const ScratchPart&) = delete;
    ScratchPart& operator=(const ScratchPart&) = delete;

    const std::string& path() const { return m_path; }
    // Renames the part over the document.
    void place()
    {
        if (::rename(m_path.c_str(), m_document.c_str()) != 0)
            throw EInOutError(CannotWrite(m_document, errno));
        m_placed = true;
    }

private:
    std::string m_document;
    std::string m_path;
    bool m_placed = false;
};

void renderThroughStylesheet(MetadataView& view)
{
    const MetadataViewRequest& request = view.request;
    const std::string copy = copyOfStylesheet(request);
    if (!view.hasMetadata)
        return;
    const std::string document = request.scratchFolder + "~TempXML.xml";
    ScratchPart part(document);
    writeTemporaryDocument(request.metadataPath, part.path());
    if (request.progress)
        request.progress->setRead();
    // The stylesheet is applied from where it lies (not from its copy): its
    // includes and the page's relative links resolve there as they always
    // did beside the program, and the parsed stylesheet is found in the cache
    // as long as the file is unchanged.
    view.page = ApplyStylesheet(part.path(), request.stylesheetPath.empty() ? copy : request.stylesheetPath, document);
    if (!request.ahead)
        part.place();
    view.pagePath = document;
    view.baseFolder = ExtractFilePath(request.stylesheetPath.empty() ? copy : request.stylesheetPath);
}

void readThumbnail(MetadataView& view)
{
    const MetadataViewRequest& request = view.request;
    if (!view.hasMetadata)
        return;
    // A document too large for the other pages is refused here too, before
    // it is read: its tree would take several times its size in memory, and
    // no thumbnail needs a document of that size.
    const int64_t size = FileSize64(request.metadataPath);
    if (size > static_cast<int64_t>(kMaxShownDocument)) {
        view.error = "The document is too large to be shown. " + tooLargeToShow(static_cast<std::uint64_t>(size));
        return;
    }
    std::string encoded;
    {
        tXMLDocument document;
        document.FileName = request.metadataPath;
        document.Load(readTold(request));
        if (!request.pictureElement.empty())
            encoded = document.GetNodeText(request.pictureElement);
        if (!request.pictureNameElement.empty())
            view.pictureName = document.GetNodeText(request.pictureNameElement);
    }
    if (encoded.empty())
        return;
    // Decoded in memory and recognised by content: BMP as the ESRI profile
    // stores it, JPEG and PNG as newer metadata does.
    const std::string bytes = DecodeBase64(encoded);
    if (!view.picture.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size())))
        view.error = "Bitmap image is not valid";
}

} // namespace

MetadataView RenderMetadataView(const MetadataViewRequest& request)
{
    MetadataView view;
    view.request = request;
    try {
        view.hasMetadata = !request.metadataPath.empty() && FileExists(request.metadataPath);
        switch (request.page) {
        case MetadataPage::Rendered:
            renderThroughStylesheet(view);
            break;
        case MetadataPage::Raw:
            if (view.hasMetadata) {
                view.page = TransformFile(request.metadataPath, readTold(request));
                view.pagePath = request.metadataPath;
                view.baseFolder = ExtractFilePath(request.metadataPath);
            }
            break;
        case MetadataPage::Thumbnail:
            readThumbnail(view);
            break;
        }
        if (!view.hasMetadata && request.page != MetadataPage::Thumbnail) {
            view.page = NoMetadataPage(request.dataPath, request.metadataPath);
            view.pagePath = request.metadataPath;
            view.baseFolder = ExtractFilePath(request.metadataPath);
        }
    } catch (const std::exception& e) {
        view.error = e.what();
    } catch (...) {
        view.error = "Unknown error";
    }
    return view;
}

void WriteScratchFiles(const MetadataViewRequest& request)
{
    copyOfStylesheet(request);
    ScratchPart part(request.scratchFolder + "~TempXML.xml");
    writeTemporaryDocument(request.metadataPath, part.path());
    part.place();
}
