#pragma once
// What a result list shows of why a data set matched: the title's matched
// words, and a short passage of its other texts around the words asked
// for. Pure functions of their arguments: any thread.
#include <QString>
#include <vector>

#include "model/SearchQuery.h"
#include "model/SearchText.h"

struct Snippet {
    QString text;                        // the passage, "…" where it was cut; runs of spaces as one
    std::vector<searchtext::Span> marks; // the matched words in `text`, sorted, not overlapping
};

// A passage of about `length` characters from the hit's abstract, purpose,
// keywords, places or originator: the field in which the most words
// matched (the first of them on a tie), cut around its first match at
// word boundaries. Without any match there (the words were in the title or
// the file name, or no words were asked), the start of the abstract.
Snippet makeSnippet(const SearchHit& hit, const std::vector<searchtext::Term>& terms, int length = 160);
