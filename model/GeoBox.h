#pragma once
// Geographic bounding boxes in degrees: reading them from metadata, their
// parts on either side of the antimeridian, and how well one fits another.
// Plain values: any thread.
#include <QString>
#include <vector>

struct GeoBox {
    // West may be greater than east: the box then crosses the antimeridian
    // (from 170 to -170 is twenty degrees wide, not three hundred and forty).
    double west = -180, east = 180, south = -90, north = 90;

    bool crossesAntimeridian() const { return west > east; }
    // The box as one or two boxes whose west is not greater than their east:
    // a box across the antimeridian is its part up to 180 and its part from
    // -180.
    std::vector<GeoBox> parts() const;
    // Whether the two boxes share a point (touching edges count).
    bool intersects(const GeoBox& other) const;
    // The area in square degrees, each side taken as at least kMinSide
    // (a point or a line still has a place).
    double area() const;
    // How well this box fits `asked`: the area they share divided by the
    // area of both together (1 for the same box, near 0 for a world-wide
    // box asked about a town). Never more than
    // min(area(), asked.area()) / max(area(), asked.area()).
    double fit(const GeoBox& asked) const;
    // fit() as searches rank by it (rankOf): every back end ranks the same
    // boxes alike, and the ties are put in path order.
    double rankedFit(const GeoBox& asked) const { return rankOf(fit(asked)); }
    // A fit rounded to kRankBits significant bits: fits within about one
    // part in a thousand of each other rank alike. Degrees written in
    // decimal are not exact in binary: two boxes 0.35 degrees wide, one at
    // 5.30 and one at 6.10, fit the same extent within a few units of the
    // last place of a double, in an order that is only that rounding's.
    // Rounded, they fit alike. Monotone: a larger fit never ranks lower.
    static double rankOf(double fit);
    static constexpr int kRankBits = 10;
    // For a box known only to lie between `inner` and `outer` (a copy of it
    // rounded outwards, and that copy narrowed by more than the rounding;
    // neither across the antimeridian): whether it meets `asked` and its
    // rankedFit(asked), when every box between them gives the same. False
    // when that depends on where the box lies between them.
    static bool rankedFitBetween(const GeoBox& inner, const GeoBox& outer, const GeoBox& asked, bool& meets,
                                 double& rank);
    // The area two boxes that do not cross the antimeridian share, each side
    // taken as at least kMinSide (the part of fit() for one pair of parts).
    static double sharedArea(const GeoBox& a, const GeoBox& b);

    static constexpr double kMinSide = 1e-4;
};

// What the four bounding values of a metadata document make.
enum class BoxReading {
    None,          // some value missing or not a number: no box
    Box,           // a box in degrees
    NotInDegrees,  // numbers beyond +-180 or +-90: projected units, not stored
    Inverted,      // south above north: not stored
};
// Reads the four texts (a decimal comma is accepted); `box` is set for Box.
BoxReading readBox(const QString& west, const QString& east, const QString& south, const QString& north,
                   GeoBox& box);
