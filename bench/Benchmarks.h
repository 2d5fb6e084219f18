#pragma once
// The benchmark groups. Each builds its own input, drives the real code and
// adds its rows to the table (a failed row when it cannot measure).
#include <string>

#include "BenchSupport.h"

namespace bench {

// Expanding a directory of N data sets against readdir + stat of it, for
// N = 1,000, 10,000 and 50,000, and the cost per entry at 50,000 against
// that at 1,000.
void runListing(ResultTable& table);
// "&Expand all" over a tree of 100,000 nodes against a bare walk of it, and
// the cost per node against a tree of 10,000.
void runExpandAll(ResultTable& table);
// "&Select children" and the category-filter click, per node at 20,000
// data sets against 2,000.
void runSelection(ResultTable& table);
// Selection change to rendered page (140 KB metadata, 240 KB stylesheet),
// and the transform against libxslt's own.
void runRendering(ResultTable& table);
// "&Add to chartroom" of 2,000 data sets against executing the same
// statements in a bare loop.
void runUpload(ResultTable& table);
// On a slow share (FUSE, 1 ms per entry): the longest event-loop stall
// while 10,000 entries are listed, and Esc to a stopped "&Expand all".
void runSlowShare(ResultTable& table);
// Building the search index against reading and parsing the same
// metadata, word and extent queries at 10,000 and 100,000 data sets, the
// update after 100 changes against a bare walk, the index size.
void runSearch(ResultTable& table);
// The catalogue sync: its first run over 20,000 data sets against the bare
// parse loop plus the bare loop of its statements, and its run after 100
// changes in 100,000 data sets against a bare walk plus those statements.
void runSync(ResultTable& table);
// The team's search on the catalogue server: word, extent and combined
// queries at 100,000 and 1,000,000 data sets, and their growth.
void runTeamSearch(ResultTable& table);
// Process start to the window shown, and its peak memory, by spawning
// `probe` (the start-up probe executable) several times.
void runStartup(ResultTable& table, const std::string& probe);

} // namespace bench
