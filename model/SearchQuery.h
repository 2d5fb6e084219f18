#pragma once
// A search of the data sets of a store, as the search pane asks it, and the
// answer a search back end gives (see SearchBackend.h). Plain values: any
// thread.
#include <QList>
#include <QString>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "model/GeoBox.h"
#include "model/IndexFault.h"

struct SearchQuery {
    // Every word must match, each as a whole word or as the beginning of one
    // (see SearchText.h for what a word is).
    QString words;
    // Data sets whose box shares a point with this one; west > east crosses
    // the antimeridian.
    std::optional<GeoBox> extent;
    QList<int> categories; // only data sets of these categories
    int limit = 1000;      // the cut: no more than the first so many, in rank order
    // The part of the ranked list an answer brings: `count` data sets from
    // place `from` (the whole list unless asked otherwise). Only that part's
    // rows are read, so a caller that shows a page at a time pays per page.
    int from = 0;
    int count = std::numeric_limits<int>::max();
};

// Rank order: with words, the data sets whose title holds every word come
// first, then those that hold them in the title, file name, keywords or
// places, then those that hold them anywhere; at each of these levels the
// whole words come before words that only begin with what was typed, and
// within that, the shorter field (the title that is most nearly the words
// asked for) before the longer, then path order. An extent alone ranks by
// how well the data set's box fits it (GeoBox::rankedFit), then path order.

struct SearchHit {
    std::string path;    // the data set's item path (bytes); a directory's ends with '/'
    std::string xmlPath; // its metadata document
    QString relPath;     // the path below the store's root, as text for people
    uint8_t category = 0;
    QString title;       // empty when the metadata has none
    QString date;        // the metadata's date, empty when it has none
    int64_t mtime = -1;  // the metadata file's modification time (ns since the epoch), -1 without one
    std::optional<GeoBox> box;
    // The texts a snippet is taken from.
    QString abstract, purpose, keywords, places, originator;
};

struct SearchAnswer {
    unsigned generation = 0;
    SearchQuery query;           // what was answered
    std::vector<SearchHit> hits; // the query's part (from, count) of the ranked list
    int found = 0;         // data sets in the ranked list: those that match, at most the limit
    bool more = false;     // more data sets match than the limit lets through
    bool complete = false; // the index holds a whole walk of the store
    int indexed = 0;       // data sets in the index
    QString error;         // why the search failed (SQLite's words, no statement), or empty
    IndexFault fault = IndexFault::None; // the kind of that failure
    // Which index answered and how fresh it is, for people ("Team index on
    // db1, synced 02:10"); empty for the store's own index.
    QString source;
    bool restFollows = false; // another answer brings the rest of the part asked for (SearchService)
};
