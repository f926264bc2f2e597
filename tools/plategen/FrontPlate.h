#pragma once

#include "app/PlateLayout.h"

#include <juce_graphics/juce_graphics.h>

// The picture of the module's front plate that the main panel shows behind its transparent
// controls. Every painted element sits exactly where the panel puts the control that belongs to
// it: the rectangles are the panel's layout (PlateLayout).
class FrontPlate
{
public:
    static constexpr int width = PlateLayout::kWidth;
    static constexpr int height = PlateLayout::kHeight;
    static constexpr float cornerRadius = PlateLayout::kCornerRadius;

    static juce::Rectangle<int> thruArea() { return toRectangle(PlateLayout::kThruArea); }
    static juce::Rectangle<int> inArea() { return toRectangle(PlateLayout::kInArea); }
    static juce::Rectangle<int> closeArea() { return toRectangle(PlateLayout::kCloseArea); }
    static juce::Rectangle<int> makerLogoArea() { return toRectangle(PlateLayout::kMakerLogoArea); }
    static juce::Rectangle<int> displayArea() { return toRectangle(PlateLayout::kDisplayArea); }
    static juce::Rectangle<int> productLogoArea() { return toRectangle(PlateLayout::kProductLogoArea); }
    static juce::Rectangle<int> trademarkArea() { return toRectangle(PlateLayout::kTrademarkArea); }
    static juce::Rectangle<int> channelComboArea() { return toRectangle(PlateLayout::kChannelComboArea); }
    static juce::Rectangle<int> toRectangle(const PlateLayout::Area& a) { return { a.x, a.y, a.width, a.height }; }

    static juce::Colour lettering() { return juce::Colour(PlateLayout::kLetteringColour); }

    // Draws the whole plate into a new ARGB image of width x height times `scale`; outside the
    // rounded corners the image is fully transparent. Needs no display. Every element is drawn
    // at the scaled size (no picture is enlarged), so the zoomed panel stays sharp.
    static juce::Image draw(int scale = 1);

    // The scales of the pictures the program carries besides the plain one, and their file names
    // ("background2x.png" beside "background.png").
    static constexpr int extraScales[] = { 2, 4 };
    static juce::String scaledFileName(const juce::String& plainName, int scale);

    // Checks a picture against the layout: size, transparent corners, opaque plate, dark display
    // window, lettering present in each labelled area. Returns one line per problem found.
    static juce::StringArray check(const juce::Image& picture);

private:
    static void paintPlate(juce::Graphics& g);
    static void paintSocket(juce::Graphics& g, juce::Point<float> centre, float radius);
    static void paintDeviceLabels(juce::Graphics& g);
    static void paintCloseCross(juce::Graphics& g);
    static void paintMakerLogo(juce::Graphics& g);
    static void paintDisplayWindow(juce::Graphics& g);
    static void paintProductLogo(juce::Graphics& g);
    static void paintTrademark(juce::Graphics& g);
    static void paintEyeEmblem(juce::Graphics& g);
    static void paintChannelField(juce::Graphics& g);
};
