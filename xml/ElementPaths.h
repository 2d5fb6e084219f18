#pragma once
// Many anywhere paths (tXMLDocument::FindNodes) matched in one pass over a
// document instead of one XPath evaluation each: reading the dozen fields
// of a metadata document this way costs a fraction of the evaluations.
#include <string>
#include <vector>

#include "xml/XMLOps.h"

class ElementPathSet {
public:
    // `paths` as the field map writes them. Those made of element names and
    // "*" steps only ("idinfo/citation/citeinfo/title") are matched here;
    // any other (attributes, predicates, prefixes, functions) is left to
    // XPath: handles() says which.
    explicit ElementPathSet(const std::vector<std::string>& paths);

    size_t size() const { return m_paths.size(); }
    // Whether match() answers for path `i`.
    bool handles(size_t i) const { return !m_paths[i].steps.empty(); }

    // For each path handled, its matches in document order: the same
    // elements FindNodes gives (a name step matches elements of that name
    // in no namespace, "*" any element). Empty lists for the others. The
    // nodes belong to `doc`.
    std::vector<tXMLNodeList> match(const tXMLDocument& doc) const;

private:
    static constexpr size_t kAnyName = size_t(-1);
    struct Path {
        std::vector<size_t> steps; // indexes into m_names, or kAnyName for "*"; empty: not handled
    };
    std::vector<Path> m_paths;
    std::vector<std::string> m_names; // every name a step tests, once
    // The paths handled, in order, by their last step: by its name's index
    // in m_names, and those that end with "*".
    std::vector<std::vector<size_t>> m_endingWith;
    std::vector<size_t> m_endingWithAny;
};
