#include "model/SearchWords.h"

#include <QHashFunctions>
#include <QList>
#include <QStringView>
#include <algorithm>
#include <bit>
#include <unordered_set>

#include "model/SearchText.h"

namespace searchwords {

int WordRows::bucket(int row) const
{
    // Titles by their number of words, the longer fields by its magnitude.
    if (row == 0)
        return std::min(count[0], 15);
    return std::min(int(std::bit_width(unsigned(count[row]))), 15);
}

WordRows wordRows(const QString& fileName, const SearchFields& f)
{
    WordRows w;
    std::unordered_set<QString> seen;
    int words = 0;
    auto add = [&](int row, const QString& text) {
        words += searchtext::forEachIndexWord(text, [&](QStringView word) {
            QString key = word.toString();
            if (seen.count(key))
                return;
            w.text[row] += QLatin1Char(' ');
            w.text[row] += word;
            w.distinct.push_back(key);
            seen.insert(std::move(key));
        });
    };
    // Room for the words of each row at once (they are at most about as
    // long as their texts): growing long texts step by step cost more than
    // cutting the words.
    const qsizetype labels = f.title.size() + fileName.size() + f.keywords.size() + f.places.size() + 8;
    const qsizetype all = labels + f.abstract.size() + f.purpose.size() + f.originator.size();
    w.text[0].reserve(f.title.size() + 8);
    add(0, f.title);
    w.count[0] = words;
    w.text[1].reserve(labels);
    w.text[1] += w.text[0];
    for (const QString* t : {&fileName, &f.keywords, &f.places})
        add(1, *t);
    w.count[1] = words;
    w.text[2].reserve(all);
    w.text[2] += w.text[1];
    for (const QString* t : {&f.abstract, &f.purpose, &f.originator})
        add(2, *t);
    w.count[2] = words;
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
