#include "HeaderBurst.h"

#include "Random.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

namespace bopwell::assetgen
{

namespace
{
    constexpr double centreX = 60.0;
    constexpr double centreY = 40.0;
    constexpr double radiusX = 58.0;
    constexpr double radiusY = 39.0;
    constexpr int spikes = 14;

    struct Corner
    {
        double angle;
        // Of the full radius.
        double reach;
    };

    // Alternating tips and valleys; every other tip is a long one. The burst and its
    // silhouette share the corners' angles so their spikes line up.
    std::vector<Corner> burstCorners (Random& random)
    {
        std::vector<Corner> corners;
        for (int i = 0; i < 2 * spikes; ++i)
        {
            const bool tip = i % 2 == 0;
            const bool longTip = i % 4 == 0;
            const double angle = (i + random.between (-0.2, 0.2)) * std::numbers::pi / spikes;
            const double reach = tip ? (longTip ? 1.0 : 0.8) * random.between (0.92, 1.0) : random.between (0.5, 0.58);
            corners.push_back ({ angle, reach });
        }
        return corners;
    }

    struct Point
    {
        double x;
        double y;
    };

    Point pointAt (double angle, double reach)
    {
        return { centreX + reach * radiusX * std::cos (angle), centreY + reach * radiusY * std::sin (angle) };
    }

    std::string number (double value)
    {
        char text[32];
        std::snprintf (text, sizeof (text), "%.2f", value);
        return text;
    }

    // tipScale shrinks the tips and valleyScale the valleys, each towards the centre.
    std::string polygon (const std::vector<Corner>& corners, double tipScale, double valleyScale, const char* fill)
    {
        std::string points;
        for (size_t i = 0; i < corners.size(); ++i)
        {
            const auto point = pointAt (corners[i].angle, corners[i].reach * (i % 2 == 0 ? tipScale : valleyScale));
            points += (i == 0 ? "" : " ") + number (point.x) + "," + number (point.y);
        }
        return "    <polygon fill=\"" + std::string (fill) + "\" points=\"" + points + "\"/>\n";
    }

    // Short dashes out in the gaps between spikes, as if the burst had just gone off.
    std::string motionMarks (const std::vector<Corner>& corners)
    {
        std::string marks = "    <g stroke=\"#07111d\" stroke-width=\"2\" stroke-linecap=\"round\">\n";
        for (size_t valley = 3; valley < corners.size(); valley += 6)
        {
            const auto from = pointAt (corners[valley].angle, 0.74);
            const auto to = pointAt (corners[valley].angle, 0.9);
            marks += "      <line x1=\"" + number (from.x) + "\" y1=\"" + number (from.y) + "\" x2=\"" + number (to.x) + "\" y2=\""
                     + number (to.y) + "\"/>\n";
        }
        return marks + "    </g>\n";
    }
} // namespace

std::string headerBurstSvg()
{
    Random random ("bopwell_header_burst");
    const auto corners = burstCorners (random);
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"120\" height=\"80\" viewBox=\"0 0 120 80\">\n"
           "  <g transform=\"translate(60 40) scale(0.9 1) translate(-60 -40)\">\n"
           + polygon (corners, 1.0, 1.0, "#07111d") + polygon (corners, 0.78, 0.82, "#49a0f4") + motionMarks (corners) + "  </g>\n</svg>\n";
}

} // namespace bopwell::assetgen
