#pragma once
// What answers the search pane's queries: the store's local index (see
// LocalSearch.h), or another back end that answers the same query with the
// same rules.
#include <memory>

#include "model/SearchQuery.h"

class SearchBackend {
public:
    virtual ~SearchBackend() = default;
    // Answers `query` on the calling thread, a worker's; may run on several
    // threads at once. Never throws: a failure is in SearchAnswer::error.
    virtual SearchAnswer answer(const SearchQuery& query) const = 0;
};
