#pragma once
// The words a search index keeps of one data set, in three rows: its title;
// its title, file name, keywords and places; everything. A search reads the
// rows in that order (a match in the title ranks first), and within a row
// the shorter field first: each row carries the bucket of its length. The
// store's own index (SearchIndex.h) and the catalogue server's search
// tables (catalogue/SearchRows.h) keep the same rows, so that both rank
// alike.
//
// Pure functions of their arguments: any thread.
#include <QString>
#include <cstdint>
#include <vector>

#include "model/SearchFields.h"

namespace searchwords {

constexpr int kRows = 3;

struct WordRows {
    // Each row's words, each once, each after a space (empty: no word).
    QString text[kRows];
    // How many words the fields of each row hold, as written (repeats
    // counted); a row with none is not kept.
    int count[kRows] = {0, 0, 0};
    // The length bucket that ranks each row (see bucket()).
    int bucket(int row) const;
    // Every word once, for a vocabulary of the index: the words (after
    // spaces) of the first `wordsLength` characters of text[2].
    qsizetype wordsLength = 0;
    QStringView words() const { return QStringView(text[2]).left(wordsLength); }
};

// The rows of a data set whose file (or folder) is named `fileName`.
WordRows wordRows(const QString& fileName, const SearchFields& fields);

// The words of the catalogue server's FULLTEXT columns. MariaDB's own
// parser would cut the words otherwise than SearchText.h does (a run of
// Chinese as one token, letters outside the basic plane as separators),
// and would drop words shorter than its minimum (three characters, a
// setting of the server that needs a restart) and its stopwords ("the",
// "de", "la"). So each word is written with [a-z0-9_] only, which that
// parser keeps whole: "w_" first (no token is then short or a stopword),
// then the word's ASCII letters and digits as they are and every other
// character as "_" and four base-36 digits of its code point. This is a
// prefix code: the token of a word's beginning is the beginning of the
// word's token, so a prefix search of the token finds the words that begin
// so. A token is cut at the server's longest (84 characters) at a
// character's end; the words of a query are cut alike.
QString serverToken(QStringView word);
// The tokens of a row's text (words after spaces), each after a space.
QString serverTokens(const QString& rowText);
constexpr int kMostTokenLength = 84;

} // namespace searchwords
