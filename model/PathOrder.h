#pragma once
// The ids of the search index's data sets follow the order of their paths,
// so that reading matches in id order reads them in path order (ties of the
// ranking are broken by path, and a search stops after the first page
// instead of sorting every match). New data sets take ids between those of
// their neighbours; where no id is left between two neighbours, the ids of a
// few data sets around them are spread out again (the order-maintenance
// scheme of Bender et al., with a fixed density).
//
// Pure functions: any thread.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace pathorder {

// Ids lie in (0, kEnd).
constexpr int64_t kEnd = int64_t(1) << 58;

// The order of two paths: by their UTF-8 bytes, that is by code point.
inline bool before(const std::string& a, const std::string& b)
{
    return a < b;
}

struct Plan {
    // The id of each new path, in the order the new paths were given.
    std::vector<int64_t> ids;
    // Existing ids that change (from, to), in an order in which each move
    // finds its new id free and every step keeps the ids in path order.
    std::vector<std::pair<int64_t, int64_t>> moves;
};

// `existing`: the ids in use, ascending (so in path order); `keyOf` gives
// the path of one of them (asked only a few times per new path). `added`:
// the new paths, none of them among the existing ones, each once.
Plan place(const std::vector<int64_t>& existing, const std::function<std::string(int64_t)>& keyOf,
           const std::vector<std::string>& added);

} // namespace pathorder
