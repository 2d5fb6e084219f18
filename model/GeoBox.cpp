#include "model/GeoBox.h"

#include <algorithm>
#include <charconv>
#include <cmath>
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
    if (!crossesAntimeridian())
        return {*this};
    return {GeoBox{west, 180, south, north}, GeoBox{-180, east, south, north}};
}

bool GeoBox::intersects(const GeoBox& other) const
{
    for (const GeoBox& a : parts())
        for (const GeoBox& b : other.parts())
            if (a.west <= b.east && a.east >= b.west && a.south <= b.north && a.north >= b.south)
                return true;
    return false;
}

double GeoBox::area() const
{
    double sum = 0;
    for (const GeoBox& p : parts())
        sum += partArea(padded(p));
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
    double shared = 0;
    for (const GeoBox& a : parts())
        for (const GeoBox& b : asked.parts())
            shared += sharedArea(a, b);
    const double both = area() + asked.area() - shared;
    return both > 0 ? shared / both : 0;
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
