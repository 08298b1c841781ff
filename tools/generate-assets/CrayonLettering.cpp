#include "CrayonLettering.h"

#include "Random.h"

#include <initializer_list>
#include <stdexcept>
#include <vector>

namespace bopwell::assetgen
{

namespace
{
    const juce::Colour crayonColour { 0xfff4efe1 };
    constexpr float fullLetterHeight = 21.0f;
    // How narrow a letter may be drawn, against its height, before the whole word shrinks instead.
    constexpr float narrowest = 0.9f;
    constexpr float letterGap = 0.16f;
    constexpr float margin = 3.0f;

    // Pen strokes in a box one unit high, y pointing down, and how far the pen then moves on.
    struct Glyph
    {
        juce::Path strokes;
        float advance = 0.0f;
    };

    using Polyline = std::initializer_list<juce::Point<float>>;

    juce::Path polylines (std::initializer_list<Polyline> lines)
    {
        juce::Path path;
        for (const auto& line : lines)
        {
            path.startNewSubPath (*line.begin());
            for (auto point = line.begin() + 1; point != line.end(); ++point)
                path.lineTo (*point);
        }
        return path;
    }

    Glyph glyphFor (juce::juce_wchar letter)
    {
        juce::Path path;
        switch (letter)
        {
            case 'A':
                return { polylines ({ { { 0.0f, 1.0f }, { 0.35f, 0.0f }, { 0.7f, 1.0f } }, { { 0.14f, 0.6f }, { 0.56f, 0.6f } } }), 0.7f };
            case 'E':
                return { polylines (
                             { { { 0.6f, 0.0f }, { 0.0f, 0.0f }, { 0.0f, 1.0f }, { 0.6f, 1.0f } }, { { 0.0f, 0.5f }, { 0.48f, 0.5f } } }),
                         0.6f };
            case 'I': return { polylines ({ { { 0.05f, 0.0f }, { 0.05f, 1.0f } } }), 0.1f };
            case 'L': return { polylines ({ { { 0.0f, 0.0f }, { 0.0f, 1.0f }, { 0.55f, 1.0f } } }), 0.55f };
            case 'M': return { polylines ({ { { 0.0f, 1.0f }, { 0.0f, 0.0f }, { 0.4f, 0.6f }, { 0.8f, 0.0f }, { 0.8f, 1.0f } } }), 0.8f };
            case 'N': return { polylines ({ { { 0.0f, 1.0f }, { 0.0f, 0.0f }, { 0.65f, 1.0f }, { 0.65f, 0.0f } } }), 0.65f };
            case 'T': return { polylines ({ { { 0.0f, 0.0f }, { 0.7f, 0.0f } }, { { 0.35f, 0.0f }, { 0.35f, 1.0f } } }), 0.7f };
            case 'V': return { polylines ({ { { 0.0f, 0.0f }, { 0.35f, 1.0f }, { 0.7f, 0.0f } } }), 0.7f };
            case 'Y':
                return { polylines ({ { { 0.0f, 0.0f }, { 0.35f, 0.5f }, { 0.7f, 0.0f } }, { { 0.35f, 0.5f }, { 0.35f, 1.0f } } }), 0.7f };
            case 'D':
                path.startNewSubPath (0.0f, 0.0f);
                path.lineTo (0.0f, 1.0f);
                path.lineTo (0.3f, 1.0f);
                path.cubicTo (0.75f, 1.0f, 0.75f, 0.0f, 0.3f, 0.0f);
                path.closeSubPath();
                return { path, 0.62f };
            case 'G':
                // From one o'clock anticlockwise round to three o'clock, then the bar inwards.
                path.addCentredArc (0.38f, 0.5f, 0.38f, 0.5f, 0.0f, 0.7f,
                                    juce::MathConstants<float>::halfPi - juce::MathConstants<float>::twoPi, true);
                path.lineTo (0.42f, 0.5f);
                return { path, 0.76f };
            case 'O': path.addEllipse (0.0f, 0.0f, 0.75f, 1.0f); return { path, 0.76f };
            case 'R':
                path.startNewSubPath (0.0f, 1.0f);
                path.lineTo (0.0f, 0.0f);
                path.lineTo (0.38f, 0.0f);
                path.cubicTo (0.68f, 0.0f, 0.68f, 0.5f, 0.38f, 0.5f);
                path.lineTo (0.0f, 0.5f);
                path.startNewSubPath (0.3f, 0.5f);
                path.lineTo (0.65f, 1.0f);
                return { path, 0.62f };
            case 'S':
                path.startNewSubPath (0.62f, 0.12f);
                path.cubicTo (0.45f, -0.05f, 0.0f, 0.0f, 0.0f, 0.25f);
                path.cubicTo (0.0f, 0.5f, 0.65f, 0.45f, 0.65f, 0.73f);
                path.cubicTo (0.65f, 1.02f, 0.15f, 1.05f, 0.0f, 0.85f);
                return { path, 0.66f };
            case 'U':
                path.startNewSubPath (0.0f, 0.0f);
                path.lineTo (0.0f, 0.65f);
                path.quadraticTo (0.0f, 1.0f, 0.33f, 1.0f);
                path.quadraticTo (0.66f, 1.0f, 0.66f, 0.65f);
                path.lineTo (0.66f, 0.0f);
                return { path, 0.66f };
            default:
                throw std::invalid_argument ("No crayon strokes for the letter '" + juce::String::charToString (letter).toStdString()
                                             + "'.");
        }
    }

    // The strokes as point lists about a pixel apart, so the wobble can move every part of a line.
    std::vector<std::vector<juce::Point<float>>> densePolylines (const juce::Path& path)
    {
        std::vector<std::vector<juce::Point<float>>> lines;
        int subPath = -1;
        for (juce::PathFlatteningIterator it (path, {}, 0.1f); it.next();)
        {
            if (it.subPathIndex != subPath)
            {
                subPath = it.subPathIndex;
                lines.push_back ({ { it.x1, it.y1 } });
            }
            const juce::Line<float> segment (it.x1, it.y1, it.x2, it.y2);
            const int steps = std::max (1, juce::roundToInt (segment.getLength()));
            for (int step = 1; step <= steps; ++step)
                lines.back().push_back (segment.getPointAlongLineProportionally (static_cast<float> (step) / static_cast<float> (steps)));
        }
        return lines;
    }

    // A hand never draws a straight line, and a crayon never lays down an even one: each pass
    // of the crayon wanders a little off the letter's strokes, with its own width and pressure.
    void drawCrayonPasses (juce::Graphics& g, const juce::Path& strokes, Random& random)
    {
        constexpr int passes = 3;
        constexpr float wobblePixels = 0.5f;
        constexpr float driftPixels = 0.45f;
        const auto randomOffset = [&random] (float pixels) {
            return juce::Point<float> { static_cast<float> (random.bipolar()), static_cast<float> (random.bipolar()) } * pixels;
        };
        const auto lines = densePolylines (strokes);

        for (int pass = 0; pass < passes; ++pass)
        {
            const auto drift = randomOffset (driftPixels);
            juce::Path trace;
            for (const auto& line : lines)
            {
                juce::Point<float> wobble;
                for (size_t i = 0; i < line.size(); ++i)
                {
                    wobble = wobble * 0.6f + randomOffset (0.4f * wobblePixels);
                    const auto point = line[i] + drift + wobble;
                    if (i == 0)
                        trace.startNewSubPath (point);
                    else
                        trace.lineTo (point);
                }
            }
            g.setColour (crayonColour.withAlpha (static_cast<float> (random.between (0.55, 0.8))));
            g.strokePath (trace, juce::PathStrokeType (static_cast<float> (random.between (1.6, 2.2)), juce::PathStrokeType::curved,
                                                       juce::PathStrokeType::rounded));
        }
    }

    // The paper's tooth showing through the wax.
    void addGrain (juce::Image& image, Random& random)
    {
        juce::Image::BitmapData pixels (image, juce::Image::BitmapData::readWrite);
        for (int y = 0; y < pixels.height; ++y)
            for (int x = 0; x < pixels.width; ++x)
            {
                const auto colour = pixels.getPixelColour (x, y);
                if (colour.getAlpha() == 0)
                    continue;
                const double keep = random.unit() < 0.15 ? 0.3 : random.between (0.7, 1.0);
                pixels.setPixelColour (x, y, colour.withMultipliedAlpha (static_cast<float> (keep)));
            }
    }
} // namespace

juce::Image crayonCaption (const juce::String& text)
{
    std::vector<Glyph> glyphs;
    float units = -letterGap;
    for (const auto letter : text)
    {
        glyphs.push_back (glyphFor (letter));
        units += glyphs.back().advance + letterGap;
    }

    // Long words are squeezed sideways a little, then shrunk, so they stay legible.
    const float xScale = std::min (fullLetterHeight, (captionWidth - 2.0f * margin) / units);
    const float letterHeight = std::min (fullLetterHeight, xScale / narrowest);
    const float top = (captionHeight - letterHeight) / 2.0f;
    float x = (captionWidth - units * xScale) / 2.0f;

    Random random (text.toStdString());
    juce::Image image (juce::Image::ARGB, captionWidth, captionHeight, true, juce::SoftwareImageType());
    {
        juce::Graphics g (image);
        for (const auto& glyph : glyphs)
        {
            const float tilt = static_cast<float> (random.between (-0.06, 0.06));
            const float bounce = static_cast<float> (random.between (-1.0, 1.0));
            const auto placement = juce::AffineTransform::scale (xScale, letterHeight)
                                       .rotated (tilt, glyph.advance * xScale / 2.0f, letterHeight / 2.0f)
                                       .translated (x, top + bounce);
            auto strokes = glyph.strokes;
            strokes.applyTransform (placement);
            drawCrayonPasses (g, strokes, random);
            x += (glyph.advance + letterGap) * xScale;
        }
    }
    addGrain (image, random);
    return image;
}

} // namespace bopwell::assetgen
