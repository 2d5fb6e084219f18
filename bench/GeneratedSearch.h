#pragma once
// The generated data sets of the search benchmarks (SearchBench.cpp), shared
// by the store's own index and the team's index on the catalogue server.
#include <QString>

#include <string>

#include "model/SearchFields.h"

namespace bench {

// What indexing the generated metadata document of `serial` gives, made
// directly (a store of a million metadata files would take most of the run
// to write and read): themes, places and boxes spread over the data sets.
SearchFields searchFields(unsigned serial);
// Its data set's path below the store's root ("folder12/name.shp").
std::string storePath(unsigned serial);
// An index of data sets 0 .. count-1 written directly, below `root`, as an
// update of their store would write it; the seconds it took.
double fillIndex(const QString& file, const std::string& root, unsigned count);

} // namespace bench
