#pragma once
// A list of search results as CSV (RFC 4180, UTF-8): one line per data set
// with its path, title, category and box (west, east, south, north in
// degrees, empty without a box), under a line of column names. Texts that a
// spreadsheet would take for a formula (=, +, -, @ first) get a leading
// apostrophe. Pure functions: any thread.
#include <QByteArray>
#include <QString>
#include <vector>

#include "model/SearchQuery.h"

// The path a result stands for, as people read it: a directory's own path,
// else its data file (the metadata path without its last extension).
std::string resultPath(const SearchHit& hit);

QByteArray resultsCsv(const std::vector<SearchHit>& hits);

// Writes the CSV to `file` whole or not at all (a failed write leaves an
// existing file as it was). False with `error` set when it cannot.
bool writeResultsCsv(const std::vector<SearchHit>& hits, const QString& file, QString& error);
