#include "SweatMark.h"

namespace bopwell::assetgen
{

namespace
{
    struct Drop
    {
        juce::Point<float> centre;
        float radius;
        // Radians; each drop points back to where it was flung from.
        float tilt;
    };

    const juce::Colour dropFill { 0xff9fd6ff };
    const juce::Colour dropOutline { 0xff4b9be0 };

    // Round at the bottom, drawn out to a point at the top, centred on the round part.
    juce::Path dropShape (float r)
    {
        // Control points 4/3 r below the ends of a diameter trace a half circle.
        constexpr float halfCircle = 4.0f / 3.0f;
        juce::Path path;
        path.startNewSubPath (0.0f, -2.2f * r);
        path.cubicTo (0.25f * r, -1.6f * r, r, -0.9f * r, r, 0.0f);
        path.cubicTo (r, halfCircle * r, -r, halfCircle * r, -r, 0.0f);
        path.cubicTo (-r, -0.9f * r, -0.25f * r, -1.6f * r, 0.0f, -2.2f * r);
        path.closeSubPath();
        return path;
    }

    void drawDrop (juce::Graphics& g, const Drop& drop)
    {
        const auto placement = juce::AffineTransform::rotation (drop.tilt).translated (drop.centre);
        const auto outline = dropShape (drop.radius);
        g.setColour (dropFill);
        g.fillPath (outline, placement);
        g.setColour (dropOutline);
        g.strokePath (outline, juce::PathStrokeType (1.5f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded), placement);

        juce::Path glint;
        glint.addEllipse (-0.55f * drop.radius, -0.45f * drop.radius, 0.45f * drop.radius, 0.6f * drop.radius);
        g.setColour (juce::Colours::white.withAlpha (0.85f));
        g.fillPath (glint, placement);
    }
} // namespace

juce::Image sweatMark()
{
    const Drop drops[] = {
        { { 13.0f, 30.0f }, 6.0f, -0.55f },
        { { 27.0f, 17.0f }, 4.5f, 0.1f },
        { { 38.0f, 33.0f }, 5.0f, 0.6f },
    };

    juce::Image image (juce::Image::ARGB, sweatMarkSize, sweatMarkSize, true, juce::SoftwareImageType());
    juce::Graphics g (image);
    for (const auto& drop : drops)
        drawDrop (g, drop);
    return image;
}

} // namespace bopwell::assetgen
