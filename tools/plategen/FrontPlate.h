#pragma once

#include <juce_graphics/juce_graphics.h>

// The picture of the module's front plate that the main panel shows behind its transparent
// controls. Every painted element sits exactly where the panel puts the control that belongs to
// it, so the rectangles below are the panel's layout.
class FrontPlate
{
public:
    static constexpr int width = 640;
    static constexpr int height = 494;
    // The window is cut to a rounded rectangle with 50 x 50 corner ellipses.
    static constexpr float cornerRadius = 25.0f;

    static juce::Rectangle<int> thruArea() { return { 56, 4, 123, 59 }; }
    static juce::Rectangle<int> inArea() { return { 482, 4, 114, 59 }; }
    static juce::Rectangle<int> closeArea() { return { 593, 4, 41, 34 }; }
    static juce::Rectangle<int> makerLogoArea() { return { 336, 16, 231, 77 }; }
    static juce::Rectangle<int> displayArea() { return { 21, 95, 600, 226 }; }
    static juce::Rectangle<int> productLogoArea() { return { 25, 333, 280, 144 }; }
    static juce::Rectangle<int> trademarkArea() { return { 587, 334, 39, 25 }; }
    static juce::Rectangle<int> channelComboArea() { return { 540, 453, 110, 25 }; }

    static juce::Colour lettering() { return juce::Colour(0xFFFEFFB3); }

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
