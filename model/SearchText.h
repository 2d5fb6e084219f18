#pragma once
// How search texts are cut into words, for every script. The index stores
// these words, queries are made of them and the result list marks them, so
// that all three agree on what a word is.
//
// A word is a run of letters, digits and marks. Each character is first
// brought to its compatibility form (NFKC: "𝐁" is "B", "ﬁ" is "fi", a
// full-width "Ａ" is "A"), Latin, Greek and Cyrillic accents are dropped and
// letter case is folded, so "Rivière", "RIVIERE" and "riviere" are one word.
// Letters outside Unicode's basic plane are letters like any other.
//
// Chinese, Japanese and Korean write without spaces: a run of their
// characters is kept as overlapping pairs of characters (and its last
// character alone), so that any part of the run can be found: "东京都" is
// stored as "东京", "京都", "都", and "京都" finds it.
//
// Pure functions of their arguments: any thread.
#include <QString>
#include <QStringView>
#include <type_traits>
#include <vector>

namespace searchtext {

// One word of a text: its folded form and where it stands in the text
// (UTF-16 offsets, `to` past its end). A character of Chinese, Japanese or
// Korean is a piece of its own with `cjk` set; consecutive such pieces
// (one's `to` is the next one's `from`) form a run.
struct Piece {
    QString folded;
    qsizetype from = 0;
    qsizetype to = 0;
    bool cjk = false;
};
std::vector<Piece> pieces(QStringView text);

// The words the index keeps of `text`, in order, each given to
// `word(context, w)`. Returns how many were given. (A plain function
// pointer: an index is built of millions of words.)
using WordCallback = void (*)(void* context, QStringView word);
int forEachIndexWord(QStringView text, WordCallback word, void* context);
// The same with any callable taking a QStringView.
template <class F>
int forEachIndexWord(QStringView text, F&& word)
{
    using Callable = std::remove_reference_t<F>;
    return forEachIndexWord(
        text, [](void* context, QStringView w) { (*static_cast<Callable*>(context))(w); },
        const_cast<void*>(static_cast<const void*>(&word)));
}
// The same words, each appended to `out` after a space.
int appendIndexWords(QStringView text, QString& out);

// One term of a query: a word that must be found, as a whole word or, with
// `prefix`, as the beginning of a longer one.
struct Term {
    QString word;
    bool prefix = true;
    bool operator==(const Term&) const = default;
};
// The terms of what was typed, in order, each once: every word of other
// scripts may be a word's beginning ("hydro" finds "hydrology"); a run of
// Chinese, Japanese or Korean characters asks for each of its pairs as a
// whole (a single character: any pair that begins with it).
std::vector<Term> queryTerms(QStringView text);

// Whether the folded word `word` answers `term`; `whole` is set when it is
// the term's whole word rather than a longer one.
bool answers(const Term& term, QStringView word, bool* whole = nullptr);

// The parts of `text` that the terms found: sorted, not overlapping.
struct Span {
    qsizetype from = 0;
    qsizetype to = 0;
};
std::vector<Span> matchedSpans(QStringView text, const std::vector<Term>& terms);

} // namespace searchtext
