#pragma once
// The two catalogue commands of the data tree: "&Add to chartroom" uploads
// the metadata of the selected data sets into the Chartroom catalogue, and
// "&Ignore in chartroom" / "&Unignore in chartroom" set or clear the flag in
// a data set's metadata that keeps it out of the catalogue.
#include <string>
#include <vector>

#include "HTMLlogOps.h"

class tXMLFile;
class TdmAtlasdesk;

// The window's status display, as the catalogue commands drive it.
class CatalogueHost {
public:
    virtual ~CatalogueHost() = default;
    // Busy pointer, task caption, progress 0 with maximum `max`.
    virtual void StartTask(const std::string& caption, int max) = 0;
    // Progress `pos`; the window then processes pending events.
    virtual void ShowProgress(int pos) = 0;
    // Normal pointer, caption "Ready", progress 0.
    virtual void ShowReady() = 0;

    // The task caption alone.
    virtual void setTaskCaption(const std::string& text) = 0;
    // The progress position; the window then processes pending events.
    virtual void setProgress(int pos) = 0;
    virtual void setProgressMaximum(int max) = 0;
    // The busy (true) or normal (false) mouse pointer.
    virtual void busyCursor(bool busy) = 0;
};

// "&Add to chartroom": one Locations and one Main row per selected data set
// below a first folder numbered under 80 whose metadata is readable and not
// flagged to be ignored; then the Themes and Sources tables, the log line
// "- Data added to Chartroom: <n> records added on <date time>" and the
// table comment. The themes come from the configuration file. The end steps
// (status, log line, comment, closing the connection) run however the run
// ends; an error that broke the run off is thrown after them. The
// connection is left closed.
void UploadSelection(TdmAtlasdesk& dm, const std::vector<tXMLFile*>& selection,
                     const std::string& serverRoot, tHTMLLog& log, CatalogueHost& host);

// Sets (`ignore`) or removes the ignore flag in the metadata of every data
// set of `selectedFiles`, creating missing metadata files, and stamps and
// saves each document. Stops at the first error (thrown after the normal
// pointer and the caption "Ready:" are restored); the data sets before it
// keep their new state. An empty selection touches nothing.
void SetIgnoreFlags(bool ignore, const std::vector<tXMLFile*>& selectedFiles, tHTMLLog& log,
                    CatalogueHost& host);
