#include "model/SearchWords.h"

#include <QHashFunctions>
#include <QList>
#include <QStringView>
#include <algorithm>
#include <bit>
#include <cstdint>

#include "model/SearchText.h"

namespace searchwords {

int WordRows::bucket(int row) const
{
    // Titles by their number of words, the longer fields by its magnitude.
    if (row == 0)
        return std::min(count[0], 15);
    return std::min(int(std::bit_width(unsigned(count[row]))), 15);
}

namespace {

// The words of one data set seen so far, each once: an open-addressing
// table of places in the text being written, kept by each thread and
// emptied by a new stamp (a data set holds some hundreds of words, and
// cutting them is most of a reader's work besides parsing).
class SeenWords {
public:
    // Starts a data set.
    void start()
    {
        if (m_slots.size() > kMostKept || m_slots.empty()) {
            // A data set of very many words does not keep its room.
            m_slots.assign(kFirstSize, Slot());
            m_stamp = 0;
        }
        if (++m_stamp == 0) { // wrapped: every slot could look used
            std::fill(m_slots.begin(), m_slots.end(), Slot());
            m_stamp = 1;
        }
        m_used = 0;
    }
    // Whether `word` was seen in `text`; when not, it is noted as standing
    // at `at` (where the caller writes it next).
    bool seen(QStringView word, const QString& text, qsizetype at)
    {
        const uint32_t hash = uint32_t(qHash(word));
        const size_t mask = m_slots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& s = m_slots[i];
            if (s.stamp != m_stamp) {
                s = Slot{m_stamp, hash, uint32_t(at), uint32_t(word.size())};
                if (++m_used * 2 > m_slots.size())
                    grow();
                return false;
            }
            if (s.hash == hash && s.length == uint32_t(word.size()) && QStringView(text).mid(s.at, s.length) == word)
                return true;
        }
    }

private:
    static constexpr size_t kFirstSize = 512;
    static constexpr size_t kMostKept = 1 << 16;
    struct Slot {
        uint32_t stamp = 0;
        uint32_t hash = 0;
        uint32_t at = 0;
        uint32_t length = 0;
    };

    // Twice the room, kept under half full.
    void grow()
    {
        std::vector<Slot> old(m_slots.size() * 2, Slot());
        old.swap(m_slots);
        const size_t mask = m_slots.size() - 1;
        for (const Slot& s : old) {
            if (s.stamp != m_stamp)
                continue;
            size_t i = s.hash & mask;
            while (m_slots[i].stamp == m_stamp)
                i = (i + 1) & mask;
            m_slots[i] = s;
        }
    }

    std::vector<Slot> m_slots;
    size_t m_used = 0;
    uint32_t m_stamp = 0;
};

} // namespace

WordRows wordRows(const QString& fileName, const SearchFields& f)
{
    WordRows w;
    // The rows are written into one text, every word once, each row
    // holding the one before it: the title's words, then those of the
    // labels, then those of everything else.
    QString& all = w.text[2];
    // Room for every word at once (they are at most about as long as their
    // texts): growing a long text step by step cost more than cutting the
    // words.
    const qsizetype labels = f.title.size() + fileName.size() + f.keywords.size() + f.places.size() + 8;
    const qsizetype total = labels + f.abstract.size() + f.purpose.size() + f.originator.size() + 8;
    all.reserve(total);
    thread_local SeenWords seen;
    seen.start();
    int words = 0;
    auto add = [&](const QString& text) {
        words += searchtext::forEachIndexWord(text, [&](QStringView word) {
            if (seen.seen(word, all, all.size() + 1))
                return;
            all += QLatin1Char(' ');
            all += word;
        });
    };
    add(f.title);
    w.count[0] = words;
    const qsizetype titleEnd = all.size();
    for (const QString* t : {&fileName, &f.keywords, &f.places})
        add(*t);
    w.count[1] = words;
    const qsizetype labelsEnd = all.size();
    for (const QString* t : {&f.abstract, &f.purpose, &f.originator})
        add(*t);
    w.count[2] = words;
    w.wordsLength = all.size();
    w.text[0] = all.left(titleEnd);
    w.text[1] = all.left(labelsEnd);
    return w;
}

QString serverToken(QStringView word)
{
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    QString token = QStringLiteral("w_");
    for (const char32_t c : word.toUcs4()) {
        QString piece;
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            piece = QChar(char16_t(c));
        } else {
            // 36^4 is above the last code point.
            piece = QStringLiteral("_????");
            uint32_t v = c;
            for (int i = 4; i >= 1; --i, v /= 36)
                piece[i] = QLatin1Char(kDigits[v % 36]);
        }
        if (token.size() + piece.size() > kMostTokenLength)
            break;
        token += piece;
    }
    return token;
}

QString serverTokens(const QString& rowText)
{
    QString tokens;
    for (const QStringView word : QStringView(rowText).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        tokens += QLatin1Char(' ');
        tokens += serverToken(word);
    }
    return tokens;
}

} // namespace searchwords
