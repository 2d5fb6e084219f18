#include "model/GeoBox.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace {

// A part with each side widened, about its middle, to at least kMinSide.
GeoBox padded(GeoBox b)
{
    auto widen = [](double& low, double& high) {
        const double missing = GeoBox::kMinSide - (high - low);
        if (missing > 0) {
            low -= missing / 2;
            high += missing / 2;
        }
    };
    widen(b.west, b.east);
    widen(b.south, b.north);
    return b;
}

// parts() without allocating (fit() and intersects() run once per box a
// search meets): the number of parts, written to `out`.
int partsOf(const GeoBox& b, GeoBox (&out)[2])
{
    if (!b.crossesAntimeridian()) {
        out[0] = b;
        return 1;
    }
    out[0] = GeoBox{b.west, 180, b.south, b.north};
    out[1] = GeoBox{-180, b.east, b.south, b.north};
    return 2;
}

double partArea(const GeoBox& p)
{
    return (p.east - p.west) * (p.north - p.south);
}

// A number as metadata mostly writes it ("-71.0625", "46,5": digits with
// one decimal point or comma between them), read without the general
// conversion, which costs more than the rest of reading a box. False for
// any other form.
bool plainNumber(QStringView text, double& value)
{
    char ascii[40];
    if (text.isEmpty() || text.size() >= qsizetype(sizeof ascii))
        return false;
    size_t n = 0;
    bool point = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool afterDigit = n > 0 && ascii[n - 1] >= '0' && ascii[n - 1] <= '9';
        if (c >= '0' && c <= '9')
            ascii[n++] = char(c);
        else if (i == 0 && c == '-')
            ascii[n++] = '-';
        else if (i == 0 && c == '+')
            continue;
        else if ((c == '.' || c == ',') && !point && afterDigit)
            ascii[n++] = '.', point = true;
        else
            return false;
    }
    if (n == 0 || ascii[n - 1] < '0' || ascii[n - 1] > '9')
        return false;
    const std::from_chars_result r = std::from_chars(ascii, ascii + n, value);
    return r.ec == std::errc() && r.ptr == ascii + n;
}

bool number(QString text, double& value)
{
    if (plainNumber(QStringView(text).trimmed(), value))
        return std::isfinite(value);
    text = text.trimmed();
    // Some documents write a decimal comma.
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    value = text.toDouble(&ok);
    return ok && std::isfinite(value);
}

} // namespace

std::vector<GeoBox> GeoBox::parts() const
{
    GeoBox out[2];
    return std::vector<GeoBox>(out, out + partsOf(*this, out));
}

bool GeoBox::intersects(const GeoBox& other) const
{
    GeoBox mine[2], theirs[2];
    const int m = partsOf(*this, mine), t = partsOf(other, theirs);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < t; ++j) {
            const GeoBox &a = mine[i], &b = theirs[j];
            if (a.west <= b.east && a.east >= b.west && a.south <= b.north && a.north >= b.south)
                return true;
        }
    return false;
}

double GeoBox::area() const
{
    GeoBox mine[2];
    const int m = partsOf(*this, mine);
    double sum = 0;
    for (int i = 0; i < m; ++i)
        sum += partArea(padded(mine[i]));
    return sum;
}

double GeoBox::sharedArea(const GeoBox& a, const GeoBox& b)
{
    const GeoBox pa = padded(a), pb = padded(b);
    const double w = std::min(pa.east, pb.east) - std::max(pa.west, pb.west);
    const double h = std::min(pa.north, pb.north) - std::max(pa.south, pb.south);
    return w > 0 && h > 0 ? w * h : 0;
}

double GeoBox::fit(const GeoBox& asked) const
{
    GeoBox mine[2], theirs[2];
    const int m = partsOf(*this, mine), t = partsOf(asked, theirs);
    double shared = 0;
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < t; ++j)
            shared += sharedArea(mine[i], theirs[j]);
    const double both = area() + asked.area() - shared;
    return both > 0 ? shared / both : 0;
}

double GeoBox::rankOf(double fit)
{
    if (!(fit > 0))
        return 0;
    if (!std::isfinite(fit))
        return fit;
    // The significand's bits below the first kRankBits rounded off (half
    // up); a carry moves into the exponent, as it should.
    constexpr int kDropped = std::numeric_limits<double>::digits - kRankBits;
    const uint64_t bits = std::bit_cast<uint64_t>(fit) + (uint64_t(1) << (kDropped - 1));
    return std::bit_cast<double>(bits & ~((uint64_t(1) << kDropped) - 1));
}

bool GeoBox::rankedFitBetween(const GeoBox& inner, const GeoBox& outer, const GeoBox& asked, bool& meets,
                              double& rank)
{
    // Sides no shorter than kMinSide: no box between them is padded, and
    // its shared area and area grow with it.
    if (inner.crossesAntimeridian() || outer.crossesAntimeridian() || !(inner.east - inner.west >= kMinSide) ||
        !(inner.north - inner.south >= kMinSide) || inner.west < outer.west || inner.east > outer.east ||
        inner.south < outer.south || inner.north > outer.north)
        return false;
    if (!inner.intersects(asked)) {
        if (outer.intersects(asked))
            return false;
        meets = false;
        rank = 0;
        return true;
    }
    meets = true;
    GeoBox theirs[2];
    const int t = partsOf(asked, theirs);
    double sharedInner = 0, sharedOuter = 0;
    for (int j = 0; j < t; ++j) {
        sharedInner += sharedArea(inner, theirs[j]);
        sharedOuter += sharedArea(outer, theirs[j]);
    }
    // fit = shared / (area + asked - shared) grows with the shared area and
    // falls with the area; a margin for the rounding of these sums.
    const double askedArea = asked.area();
    const double low = sharedInner / (partArea(outer) + askedArea - sharedInner);
    const double high = sharedOuter / (partArea(inner) + askedArea - sharedOuter);
    constexpr double kMargin = 1e-12;
    const double lowRank = rankOf(low * (1 - kMargin)), highRank = rankOf(high * (1 + kMargin));
    if (lowRank != highRank)
        return false;
    rank = lowRank;
    return true;
}

BoxReading readBox(const QString& west, const QString& east, const QString& south, const QString& north,
                   GeoBox& box)
{
    double w, e, s, n;
    if (!number(west, w) || !number(east, e) || !number(south, s) || !number(north, n))
        return BoxReading::None;
    if (std::abs(w) > 180 || std::abs(e) > 180 || std::abs(s) > 90 || std::abs(n) > 90)
        return BoxReading::NotInDegrees;
    if (s > n)
        return BoxReading::Inverted;
    box = GeoBox{w, e, s, n};
    return BoxReading::Box;
}
