#include "model/GeoBox.h"

#include <algorithm>
#include <cmath>

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

bool number(QString text, double& value)
{
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

double GeoBox::rankOf(double fit)
{
    if (!(fit > 0))
        return 0;
    int exponent = 0;
    const double mantissa = std::frexp(fit, &exponent); // in [0.5, 1)
    return std::ldexp(std::round(std::ldexp(mantissa, kRankBits)), exponent - kRankBits);
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
