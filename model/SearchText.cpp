#include "model/SearchText.h"

#include <QVarLengthArray>

#include <algorithm>
#include <unordered_map>

namespace searchtext {

namespace {

// Walks a text by code points (a surrogate pair is one, a lone surrogate is
// itself).
class CodePoints {
public:
    explicit CodePoints(QStringView text) : m_text(text) {}
    bool hasNext() const { return m_at < m_text.size(); }
    qsizetype index() const { return m_at; }
    void skipTo(qsizetype at) { m_at = at; }
    char32_t next()
    {
        const QChar c = m_text[m_at++];
        if (c.isHighSurrogate() && m_at < m_text.size() && m_text[m_at].isLowSurrogate())
            return QChar::surrogateToUcs4(c, m_text[m_at++]);
        return c.unicode();
    }

private:
    QStringView m_text;
    qsizetype m_at = 0;
};

// Longer words are cut: base64 or hex junk in a text must not make words
// of thousands of characters.
constexpr int kMaxWordLength = 64;

bool isAsciiWordCharacter(char16_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isCjk(char32_t c)
{
    switch (QChar::script(c)) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
    case QChar::Script_Bopomofo:
        return true;
    default:
        // Marks of the Japanese syllabaries that Unicode gives to no script
        // of their own (the long-vowel mark "ー", the iteration marks).
        return (c >= 0x3005 && c <= 0x3007) || (c >= 0x3031 && c <= 0x3035) || c == 0x30FC ||
               (c >= 0x309D && c <= 0x309E) || (c >= 0x30FD && c <= 0x30FE);
    }
}

bool isWordCharacter(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return false;
    }
}

// Latin letters that carry their accent in themselves (no decomposition),
// as people type them without it.
QString foldLatin(char32_t c)
{
    switch (c) {
    case 0x00DF: return QStringLiteral("ss"); // ß
    case 0x00E6: return QStringLiteral("ae"); // æ
    case 0x0153: return QStringLiteral("oe"); // œ
    case 0x00F8: return QStringLiteral("o");  // ø
    case 0x0142: return QStringLiteral("l");  // ł
    case 0x0111: return QStringLiteral("d");  // đ
    case 0x0127: return QStringLiteral("h");  // ħ
    case 0x0131: return QStringLiteral("i");  // ı
    case 0x00FE: return QStringLiteral("th"); // þ
    default: return {};
    }
}

// The folded form of one character: compatibility decomposition, Latin,
// Greek and Cyrillic accents (the combining diacritical marks) dropped,
// case folded, composed again. Other scripts' marks stay (the voicing marks
// of Japanese kana change the syllable).
QString foldSlow(char32_t c)
{
    QString s = QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_KD);
    s.removeIf([](QChar m) { return m.unicode() >= 0x0300 && m.unicode() <= 0x036F; });
    s = s.toCaseFolded().normalized(QString::NormalizationForm_C);
    QString out;
    CodePoints it(s);
    while (it.hasNext()) {
        const char32_t f = it.next();
        const QString latin = foldLatin(f);
        if (latin.isEmpty())
            out += QString::fromUcs4(&f, 1);
        else
            out += latin;
    }
    return out;
}

const QString& fold(char32_t c)
{
    thread_local std::unordered_map<char32_t, QString> cache;
    auto it = cache.find(c);
    if (it != cache.end())
        return it->second;
    if (cache.size() > 50000)
        cache.clear(); // a text of every character there is
    return cache.emplace(c, foldSlow(c)).first->second;
}

// Whether `c` is a combining mark.
bool isMark(char32_t c)
{
    const QChar::Category k = QChar::category(c);
    return k == QChar::Mark_NonSpacing || k == QChar::Mark_SpacingCombining || k == QChar::Mark_Enclosing;
}

// Walks `text` and tells `sink` its words: word(folded, from, to) for a word
// of other scripts, cjk(folded, from, to) for each Chinese, Japanese or
// Korean character, brk() where a run of those ends.
template <class Sink>
void scan(QStringView text, Sink& sink)
{
    // The word being read (at most kMaxWordLength code points), kept
    // without an allocation of its own.
    QVarLengthArray<char16_t, 2 * kMaxWordLength> word;
    int wordLength = 0;
    qsizetype wordFrom = -1, wordTo = -1;
    // The last character of a run, kept until what follows is known: a
    // voicing mark written apart (half-width kana) joins it.
    QString cjk;
    qsizetype cjkFrom = 0, cjkTo = 0;
    bool inRun = false;
    auto endWord = [&] {
        if (wordFrom >= 0 && !word.isEmpty())
            sink.word(QStringView(word.constData(), word.size()), wordFrom, wordTo);
        word.clear();
        wordLength = 0;
        wordFrom = -1;
    };
    auto flushCjk = [&] {
        if (!cjk.isEmpty())
            sink.cjk(QStringView(cjk), cjkFrom, cjkTo);
        cjk.clear();
    };
    auto endRun = [&] {
        flushCjk();
        if (inRun)
            sink.brk();
        inRun = false;
    };
    auto addToWord = [&](char32_t g, qsizetype from, qsizetype to) {
        endRun();
        if (wordFrom < 0)
            wordFrom = from;
        if (wordLength < kMaxWordLength) {
            if (QChar::requiresSurrogates(g)) {
                word.append(QChar::highSurrogate(g));
                word.append(QChar::lowSurrogate(g));
            } else {
                word.append(char16_t(g));
            }
            ++wordLength;
        }
        wordTo = to;
    };
    CodePoints it(text);
    while (it.hasNext()) {
        const qsizetype from = it.index();
        if (text[from].unicode() < 0x80) {
            // Most text is ASCII: letters and digits make words, taken a run
            // at a time.
            qsizetype end = from;
            while (end < text.size() && isAsciiWordCharacter(text[end].unicode()))
                ++end;
            if (end == from) {
                endWord();
                endRun();
                it.skipTo(from + 1);
                continue;
            }
            endRun();
            if (wordFrom < 0)
                wordFrom = from;
            const qsizetype kept = std::min<qsizetype>(end - from, std::max(0, kMaxWordLength - wordLength));
            if (kept > 0) {
                const qsizetype at = word.size();
                word.resize(at + kept);
                char16_t* out = word.data() + at;
                for (qsizetype i = 0; i < kept; ++i) {
                    const char16_t c = text[from + i].unicode();
                    out[i] = c >= 'A' && c <= 'Z' ? char16_t(c | 0x20) : c;
                }
                wordLength += int(kept);
            }
            wordTo = end;
            it.skipTo(end);
            continue;
        }
        const char32_t c = it.next();
        const qsizetype to = it.index();
        const QString& folded = fold(c);
        if (folded.isEmpty()) {
            // An accent of its own (e + U+0301): part of the word it follows.
            if (wordFrom >= 0)
                wordTo = to;
            continue;
        }
        CodePoints f(folded);
        while (f.hasNext()) {
            const char32_t g = f.next();
            if (isCjk(g)) {
                endWord();
                flushCjk();
                inRun = true;
                cjk = folded;
                cjkFrom = from;
                cjkTo = to;
                break; // one character, whatever its folded form holds
            }
            if (isMark(g) && !cjk.isEmpty()) {
                cjk = (cjk + QString::fromUcs4(&g, 1)).normalized(QString::NormalizationForm_C);
                cjkTo = to;
                continue;
            }
            if (isWordCharacter(g)) {
                addToWord(g, from, to);
            } else {
                endWord();
                endRun();
            }
        }
    }
    endWord();
    endRun();
}

} // namespace

std::vector<Piece> pieces(QStringView text)
{
    struct Sink {
        std::vector<Piece> out;
        void word(QStringView w, qsizetype from, qsizetype to) { out.push_back({w.toString(), from, to, false}); }
        void cjk(QStringView c, qsizetype from, qsizetype to)
        {
            // Two characters folded from one ("㍿" is four) share its place.
            out.push_back({c.toString(), from, to, true});
        }
        void brk() {}
    } sink;
    scan(text, sink);
    return std::move(sink.out);
}

int forEachIndexWord(QStringView text, WordCallback word, void* context)
{
    struct Sink {
        WordCallback out;
        void* context;
        int count = 0;
        QString previous; // the last character of the run so far
        void add(QStringView w)
        {
            out(context, w);
            ++count;
        }
        void word(QStringView w, qsizetype, qsizetype) { add(w); }
        void cjk(QStringView c, qsizetype, qsizetype)
        {
            if (!previous.isEmpty())
                add(QString(previous).append(c));
            previous = c.toString();
        }
        void brk()
        {
            if (!previous.isEmpty())
                add(previous);
            previous.clear();
        }
    } sink{word, context, 0, {}};
    scan(text, sink);
    return sink.count;
}

int appendIndexWords(QStringView text, QString& out)
{
    return forEachIndexWord(text, [&](QStringView w) {
        out += QLatin1Char(' ');
        out += w;
    });
}

std::vector<Term> queryTerms(QStringView text)
{
    std::vector<Term> terms;
    auto add = [&](Term t) {
        if (std::find(terms.begin(), terms.end(), t) == terms.end())
            terms.push_back(std::move(t));
    };
    const std::vector<Piece> ps = pieces(text);
    for (size_t i = 0; i < ps.size();) {
        if (!ps[i].cjk) {
            add({ps[i].folded, true});
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < ps.size() && ps[end].cjk && ps[end].from == ps[end - 1].to)
            ++end;
        if (end - i == 1)
            add({ps[i].folded, true});
        for (size_t k = i; k + 1 < end; ++k)
            add({ps[k].folded + ps[k + 1].folded, false});
        i = end;
    }
    return terms;
}

bool answers(const Term& term, QStringView word, bool* whole)
{
    const bool same = word == term.word;
    if (whole)
        *whole = same;
    return same || (term.prefix && word.startsWith(term.word));
}

std::vector<Span> matchedSpans(QStringView text, const std::vector<Term>& terms)
{
    std::vector<Span> spans;
    if (terms.empty())
        return spans;
    const std::vector<Piece> ps = pieces(text);
    for (size_t i = 0; i < ps.size(); ++i) {
        const Piece& p = ps[i];
        const bool runGoesOn = p.cjk && i + 1 < ps.size() && ps[i + 1].cjk && ps[i + 1].from == p.to;
        for (const Term& t : terms) {
            if (!p.cjk) {
                if (answers(t, p.folded)) {
                    spans.push_back({p.from, p.to});
                    break;
                }
                continue;
            }
            // A pair of the run, or a single character of it.
            if (runGoesOn && t.word == p.folded + ps[i + 1].folded)
                spans.push_back({p.from, ps[i + 1].to});
            else if (t.word == p.folded)
                spans.push_back({p.from, p.to});
        }
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.from < b.from; });
    std::vector<Span> merged;
    for (const Span& s : spans) {
        if (!merged.empty() && s.from <= merged.back().to)
            merged.back().to = std::max(merged.back().to, s.to);
        else
            merged.push_back(s);
    }
    return merged;
}

} // namespace searchtext
