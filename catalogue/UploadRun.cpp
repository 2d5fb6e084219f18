#include "UploadRun.h"

#include <QDateTime>

#include <algorithm>
#include <exception>

#include "AtlasdeskOps.h"
#include "CatalogueOps.h"
#include "Errors.h"
#include "FileOps.h"
#include "PathOps.h"
#include "StringOps.h"
#include "XMLFile.h"
#include "dmAtlasdeskU.h"

namespace {

// Releases a data set's document however its step ends.
class DocumentGuard {
public:
    explicit DocumentGuard(tXMLFile& file) : m_file(file) {}
    ~DocumentGuard() { m_file.CloseDocument(); }
    DocumentGuard(const DocumentGuard&) = delete;
    DocumentGuard& operator=(const DocumentGuard&) = delete;

private:
    tXMLFile& m_file;
};

// Runs one end step; its error is kept only when none came before it, so
// the error that broke a command off is the one reported.
template <typename Step>
void endStep(std::exception_ptr& error, Step&& step)
{
    try {
        step();
    } catch (...) {
        if (!error)
            error = std::current_exception();
    }
}

std::string ignoreFlag(const tXMLDocument& doc)
{
    const std::string& path = FieldMap[fiIgnore].XML_Path;
    return path.empty() ? std::string() : LowerAscii(doc.GetNodeTextAt(path, 0));
}

std::string now()
{
    return DateTimeText(QDateTime::currentDateTime());
}

} // namespace

void UploadSelection(TdmAtlasdesk& dm, const std::vector<tXMLFile*>& selection,
                     const std::string& serverRoot, tHTMLLog& log, CatalogueHost& host)
{
    UploadContext context(ReadThemes());
    dm.open();

    // A root chosen with a trailing separator ("/srv/geo/", or "/") names
    // the same server as without it and must upload the same rows.
    const std::string root = NormalisedServerRoot(serverRoot);
    const StatementExecutor execute = [&dm](const std::string& statement) { dm.execute(statement); };
    int records = 0;
    std::exception_ptr error;
    try {
        host.StartTask("Uploading chartroom:", static_cast<int>(selection.size()));
        for (size_t i = 0; i < selection.size(); ++i) {
            host.ShowProgress(static_cast<int>(i));
            tXMLFile* dataset = selection[i];
            if (!dataset)
                continue;
            // Folders numbered 80 and above hold archives and work in
            // progress, which the catalogue does not list.
            if (FirstFolderNumber(CatalogueSeparators(dataset->Dir), root) >= 80)
                continue;
            if (!FileExists(dataset->XMLPath)) {
                AddLineBR(log, "- File ignored (no XML found): " + dataset->XMLPath);
                continue;
            }
            DocumentGuard guard(*dataset);
            try {
                dataset->OpenDocument();
            } catch (...) {
                dataset->CloseDocument();
                AddLineBR(log, "*** XML reading error for " + dataset->XMLPath +
                                   ". This file was not uploaded. ***");
                continue;
            }
            if (ignoreFlag(*dataset->Doc) == "yes")
                continue;
            const FolderLists lists = ClassifyFolders(*dataset, root, context, execute);
            WriteCatalogueRecord(*dataset, root, lists, execute);
            ++records;
        }
        if (const auto themes = ThemesStatement(context))
            execute(*themes);
        if (const auto sources = SourcesStatement(context))
            execute(*sources);
    } catch (...) {
        error = std::current_exception();
    }

    endStep(error, [&] { host.ShowReady(); });
    context.clearSources();
    endStep(error, [&] {
        AddLineBR(log, "- Data added to Chartroom: " + std::to_string(records) + " records added on " + now());
    });
    endStep(error, [&] {
        dm.execute("ALTER TABLE Main COMMENT='Data added by Atlasdesk " + VersionString(4) + " on " + now() + "'");
    });
    // Closed also when the comment failed: the run never leaves a
    // connection open behind the user's back.
    dm.close();
    if (error)
        std::rethrow_exception(error);
}

void SetIgnoreFlags(bool ignore, const std::vector<tXMLFile*>& selectedFiles, tHTMLLog& log,
                    CatalogueHost& host)
{
    host.busyCursor(true);
    std::exception_ptr error;
    try {
        host.setTaskCaption("Ignoring:");
        host.setProgress(0);
        // An empty selection processes nothing; the gauge keeps a valid range.
        host.setProgressMaximum(std::max(0, static_cast<int>(selectedFiles.size()) - 1));
        const std::string& flagPath = FieldMap[fiIgnore].XML_Path;
        if (!selectedFiles.empty() && flagPath.empty())
            throw Exception("The configuration gives no XML_Path for the metadata field Ignore");

        for (size_t i = 0; i < selectedFiles.size(); ++i) {
            tXMLFile* dataset = selectedFiles[i];
            if (!dataset)
                continue;
            {
                DocumentGuard guard(*dataset);
                if (FileExists(dataset->XMLPath)) {
                    dataset->OpenDocument();
                } else {
                    dataset->NewDocument();
                    AddLineBR(log, "- XML file created: " + dataset->XMLPath);
                }
                // The stamp and save run even when the flag could not be
                // changed; the flag's error is then the one reported.
                std::exception_ptr flagError;
                endStep(flagError, [&] {
                    if (ignore)
                        dataset->Doc->SetNodeText(flagPath, "Yes");
                    else
                        dataset->Doc->DeleteNode(flagPath);
                });
                endStep(flagError, [&] { dataset->Stamp(); });
                if (flagError)
                    std::rethrow_exception(flagError);
            }
            AddLineBR(log, "- " + dataset->XMLPath +
                               (ignore ? " will not be exported to chartroom." : " will be exported to chartroom."));
            host.setProgress(static_cast<int>(i));
        }
    } catch (...) {
        error = std::current_exception();
    }
    endStep(error, [&] { host.busyCursor(false); });
    endStep(error, [&] { host.setTaskCaption("Ready:"); });
    if (error)
        std::rethrow_exception(error);
}
