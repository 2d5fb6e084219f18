#include "model/SearchSnippet.h"

#include <algorithm>

namespace {

// Runs of white space (line breaks, tabs) as one space, trimmed.
QString flattened(const QString& text)
{
    return text.simplified();
}

// Where a cut near `at` falls on a word boundary, searching towards `step`
// (-1 back, +1 on) for at most a fifth of the length.
qsizetype boundary(const QString& text, qsizetype at, int step, int length)
{
    const qsizetype limit = std::max<qsizetype>(length / 5, 1);
    for (qsizetype i = 0; i < limit; ++i) {
        const qsizetype p = at + step * i;
        if (p <= 0 || p >= text.size())
            return std::clamp<qsizetype>(p, 0, text.size());
        if (text[p].isSpace())
            return p;
    }
    // No space near: cut where it is, but never inside a surrogate pair.
    if (at > 0 && at < text.size() && text[at].isLowSurrogate())
        --at;
    return at;
}

Snippet cut(const QString& text, const std::vector<searchtext::Span>& spans, int length)
{
    Snippet s;
    if (text.size() <= length) {
        s.text = text;
        s.marks = spans;
        return s;
    }
    // The first match a little after the start, so its words before show.
    qsizetype from = spans.empty() ? 0 : std::max<qsizetype>(spans.front().from - length / 5, 0);
    from = std::min<qsizetype>(from, text.size() - length);
    if (from > 0)
        from = boundary(text, from, -1, length);
    qsizetype to = std::min<qsizetype>(from + length, text.size());
    if (to < text.size())
        to = boundary(text, to, -1, length);
    while (from < to && text[from].isSpace())
        ++from;
    const QString head = from > 0 ? QStringLiteral("\u2026") : QString();
    s.text = head + text.mid(from, to - from).trimmed() + (to < text.size() ? QStringLiteral("\u2026") : QString());
    const qsizetype shift = head.size() - from;
    const qsizetype end = s.text.size();
    for (const searchtext::Span& m : spans) {
        const qsizetype a = m.from + shift, b = m.to + shift;
        if (a >= qsizetype(head.size()) && b <= end)
            s.marks.push_back({a, b});
    }
    return s;
}

} // namespace

Snippet makeSnippet(const SearchHit& hit, const std::vector<searchtext::Term>& terms, int length)
{
    QString best;
    std::vector<searchtext::Span> bestSpans;
    for (const QString* field : {&hit.abstract, &hit.purpose, &hit.keywords, &hit.places, &hit.originator}) {
        if (field->isEmpty())
            continue;
        const QString text = flattened(*field);
        std::vector<searchtext::Span> spans = searchtext::matchedSpans(text, terms);
        if (spans.size() > bestSpans.size()) {
            best = text;
            bestSpans = std::move(spans);
        }
    }
    if (bestSpans.empty())
        return cut(flattened(hit.abstract), {}, length);
    return cut(best, bestSpans, length);
}
