#pragma once
// The two catalogue commands of the data tree: "&Add to chartroom" uploads
// the metadata of the selected data sets into the Chartroom catalogue, and
// "&Ignore in chartroom" / "&Unignore in chartroom" set or clear the flag in
// a data set's metadata that keeps it out of the catalogue.
//
// Both work on a snapshot of the selection (DataSetEntry values) taken when
// the command starts, so they can run on a worker while the user goes on
// changing the tree: nothing of the tree is reached after the snapshot.
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/CatalogueOps.h"
#include "catalogue/ChartroomConnection.h"
#include "support/HTMLlogOps.h"

class tXMLFile;
class TdmAtlasdesk;

// The window's status display, as the catalogue commands drive it. A run
// calls it on its own thread; a host for a worker forwards the calls.
class CatalogueHost {
public:
    virtual ~CatalogueHost() = default;
    // Busy pointer, task caption, progress 0 with maximum `max`.
    virtual void StartTask(const std::string& caption, int max) = 0;
    // Progress `pos`.
    virtual void ShowProgress(int pos) = 0;
    // Normal pointer, caption "Ready", progress 0.
    virtual void ShowReady() = 0;

    // The task caption alone.
    virtual void setTaskCaption(const std::string& text) = 0;
    // The progress position.
    virtual void setProgress(int pos) = 0;
    virtual void setProgressMaximum(int max) = 0;
    // The busy (true) or normal (false) mouse pointer.
    virtual void busyCursor(bool busy) = 0;
};

// A data set as the catalogue commands see it, copied from its tree node.
struct DataSetEntry {
    std::string xmlPath; // its metadata file; empty: no data set (passed over)
    CatalogueItem item;  // folder, name, extension, category; the size is read by the run
};
// The entries of `selection`, in its order (a null pointer gives an empty
// entry). Window thread: reads the nodes' data sets, touches no file.
std::vector<DataSetEntry> SnapshotOf(const std::vector<tXMLFile*>& selection);

// How a run is steered while it works. Owned by whoever starts the run; it
// must outlive the run.
struct RunControl {
    // Set from any thread: the run stops before its next data set.
    std::atomic<bool> cancelled{false};
    // Tests: called on the run's thread just before data set `index` is
    // handled (after its progress step). Set before the run starts.
    std::function<void(size_t index)> beforeDataSet;
};

// "&Add to chartroom" over `datasets`, on the calling thread, through a
// connection of its own opened with `login` (password resolved) and closed
// at the end: one Locations and one Main row per data set below a first
// folder numbered under 80 whose metadata is readable and not flagged to be
// ignored; then the Themes and Sources tables, the log line
// "- Data added to Chartroom: <n> records added on <date time>" and the
// table comment. The themes come from the configuration file.
// The end steps (status, log line, comment, closing the connection) run
// however the run ends; an error that broke the run off is thrown after
// them. A run broken off by an error or cancelled through `control` says so
// at the end of its log line; a cancelled run still writes the Themes and
// Sources of the rows it wrote. Each Main row is written in a transaction of
// its own, so a row statement the run gave up on never lands later. A
// server that stops answering ends
// the run after `login.timeoutSeconds` with an EChartroomConnectionLost
// naming host and port and the rows written; when the last COMMIT got no
// answer, the run asks the server on a new connection whether that row is
// there before it counts (or says that it cannot tell). The comment is then
// not attempted.
void UploadDataSets(const ChartroomSettings& login, const std::vector<DataSetEntry>& datasets,
                    const std::string& serverRoot, tHTMLLog& log, CatalogueHost& host,
                    RunControl* control = nullptr);

// Whether table Main holds the row numbered `recordNumber`, asked on a new
// connection opened with `login`; nothing when the server cannot be asked.
std::optional<bool> RowOnChartroom(const ChartroomSettings& login, int64_t recordNumber);

// UploadDataSets of the snapshot of `selection` with the data module's
// login, on the calling thread; the data module's own connection is left
// closed, as after every run.
void UploadSelection(TdmAtlasdesk& dm, const std::vector<tXMLFile*>& selection,
                     const std::string& serverRoot, tHTMLLog& log, CatalogueHost& host);

// Sets (`ignore`) or removes the ignore flag in the metadata of every data
// set of `datasets`, creating missing metadata files, and stamps and saves
// each document (atomically, as every save). Stops at the first error
// (thrown after the normal pointer and the caption "Ready:" are restored);
// the data sets before it keep their new state. An empty selection touches
// nothing. A cancel through `control` stops before the next data set.
void SetIgnoreFlagsOn(bool ignore, const std::vector<DataSetEntry>& datasets, tHTMLLog& log,
                      CatalogueHost& host, RunControl* control = nullptr);
// SetIgnoreFlagsOn of the snapshot of `selectedFiles`, on the calling thread.
void SetIgnoreFlags(bool ignore, const std::vector<tXMLFile*>& selectedFiles, tHTMLLog& log,
                    CatalogueHost& host);
