#include "FrontPlate.h"

namespace
{

using juce::Colour;
using juce::Path;
using juce::PathStrokeType;
using juce::Point;
using juce::Rectangle;

const Colour plateTop(0xFFC62220);
const Colour plateBottom(0xFF9A1513);
const Colour plateRecess(0xFF6E0C0B);
const Colour glassTop(0xFF1C1412);
const Colour glassBottom(0xFF060404);
const Colour amber(PlateLayout::kDisplayColour);

// The lettering face: a geometric sans if the machine has one, else JUCE's default sans. Only
// the look of the committed picture depends on it, never the layout.
juce::Font letteringFont(float height, bool bold)
{
    static const juce::StringArray names = juce::Font::findAllTypefaceNames();
    if (names.contains("URW Gothic"))
        return juce::Font("URW Gothic", bold ? "Demi" : "Book", height);
    return juce::Font(juce::Font::getDefaultSansSerifFontName(), height,
                      bold ? juce::Font::bold : juce::Font::plain);
}

// Text with extra letter spacing, centred on a point's x, baseline at its y.
void drawSpacedText(juce::Graphics& g, const juce::String& text, const juce::Font& font,
                    float spacing, Point<float> baselineCentre)
{
    juce::GlyphArrangement glyphs;
    glyphs.addLineOfText(font.withExtraKerningFactor(spacing / font.getHeight()), text, 0.0f,
                         0.0f);
    const auto bounds = glyphs.getBoundingBox(0, -1, true);
    // The kerning adds space after the last letter too; centre on the letters only.
    const float trailing = glyphs.getNumGlyphs() > 0 ? spacing : 0.0f;
    glyphs.moveRangeOfGlyphs(0, -1,
                             baselineCentre.x - (bounds.getWidth() - trailing) / 2.0f
                                 - bounds.getX(),
                             baselineCentre.y);
    glyphs.draw(g);
}

// A soft dark shadow under a path, as if the lettering were printed slightly raised.
void fillWithShadow(juce::Graphics& g, const Path& path, Colour colour)
{
    g.setColour(juce::Colours::black.withAlpha(0.28f));
    g.fillPath(path, juce::AffineTransform::translation(0.0f, 1.5f));
    g.setColour(colour);
    g.fillPath(path);
}

Path strokeOf(const Path& centreLine, float thickness)
{
    Path outline;
    PathStrokeType(thickness, PathStrokeType::curved, PathStrokeType::rounded)
        .createStrokedPath(outline, centreLine);
    return outline;
}

Path platePath()
{
    Path p;
    p.addRoundedRectangle(0.0f, 0.0f, static_cast<float>(FrontPlate::width),
                          static_cast<float>(FrontPlate::height), FrontPlate::cornerRadius);
    return p;
}

} // namespace

juce::Image FrontPlate::draw(int scale)
{
    juce::Image image(juce::Image::ARGB, width * scale, height * scale, true);
    juce::Graphics g(image);
    g.setImageResamplingQuality(juce::Graphics::highResamplingQuality);
    g.addTransform(juce::AffineTransform::scale(static_cast<float>(scale)));

    paintPlate(g);
    {
        // Nothing may spill over the plate's rounded edge.
        juce::Graphics::ScopedSaveState state(g);
        g.reduceClipRegion(platePath());
        paintDeviceLabels(g);
        paintCloseCross(g);
        paintMakerLogo(g);
        paintDisplayWindow(g);
        paintProductLogo(g);
        paintTrademark(g);
        paintEyeEmblem(g);
        paintChannelField(g);
    }
    return image;
}

juce::String FrontPlate::scaledFileName(const juce::String& plainName, int scale)
{
    const int dot = plainName.lastIndexOfChar('.');
    const juce::String stem = dot >= 0 ? plainName.substring(0, dot) : plainName;
    const juce::String extension = dot >= 0 ? plainName.substring(dot) : juce::String();
    return stem + juce::String(scale) + "x" + extension;
}

void FrontPlate::paintPlate(juce::Graphics& g)
{
    const Path plate = platePath();
    g.setGradientFill(juce::ColourGradient(plateTop, 0.0f, 0.0f, plateBottom, 0.0f,
                                           static_cast<float>(height), false));
    g.fillPath(plate);

    // Brushed-metal grain: faint horizontal streaks of random brightness. A fixed seed keeps the
    // picture identical from run to run.
    juce::Graphics::ScopedSaveState state(g);
    g.reduceClipRegion(plate);
    juce::Random random(0x4C554D4F);
    for (int y = 0; y < height; ++y)
    {
        int x = -random.nextInt(200);
        while (x < width)
        {
            const int length = 40 + random.nextInt(260);
            const float alpha = random.nextFloat() * 0.045f;
            g.setColour(random.nextBool() ? juce::Colours::white.withAlpha(alpha)
                                          : juce::Colours::black.withAlpha(alpha));
            g.fillRect(x, y, length, 1);
            x += length;
        }
    }

    // Bevel: light along the top edge, dark along the bottom, and a dark rim all round.
    g.setGradientFill(juce::ColourGradient(juce::Colours::white.withAlpha(0.35f), 0.0f, 0.0f,
                                           juce::Colours::black.withAlpha(0.35f), 0.0f,
                                           static_cast<float>(height), false));
    Path inner;
    inner.addRoundedRectangle(2.0f, 2.0f, width - 4.0f, height - 4.0f, cornerRadius - 2.0f);
    g.strokePath(inner, PathStrokeType(1.5f));
    g.setColour(Colour(0xFF4A0807));
    g.strokePath(plate, PathStrokeType(2.0f));
}

void FrontPlate::paintSocket(juce::Graphics& g, Point<float> centre, float radius)
{
    // A five-pin DIN socket: metal collar, dark insert, pins on a 240-degree arc, key notch.
    const auto circle = [](Point<float> c, float r) {
        return Rectangle<float>(c.x - r, c.y - r, 2.0f * r, 2.0f * r);
    };
    g.setColour(juce::Colours::black.withAlpha(0.35f));
    g.fillEllipse(circle(centre.translated(0.0f, 1.5f), radius + 1.0f));
    g.setGradientFill(juce::ColourGradient(Colour(0xFFE8E6E0), centre.x, centre.y - radius,
                                           Colour(0xFF6C6A66), centre.x, centre.y + radius, false));
    g.fillEllipse(circle(centre, radius));
    g.setGradientFill(juce::ColourGradient(Colour(0xFF3A3836), centre.x, centre.y - radius,
                                           Colour(0xFFBDBAB4), centre.x, centre.y + radius, false));
    g.fillEllipse(circle(centre, radius * 0.82f));
    g.setColour(Colour(0xFF151312));
    g.fillEllipse(circle(centre, radius * 0.74f));

    g.setColour(Colour(0xFF050505));
    const float pinRadius = radius * 0.085f;
    const float pinCircle = radius * 0.46f;
    for (int i = 0; i < 5; ++i)
    {
        // Five pins 45 degrees apart across the lower half, opposite the key.
        const float angle = juce::degreesToRadians(90.0f + (i - 2) * 45.0f + 180.0f);
        const Point<float> pin(centre.x + pinCircle * std::cos(angle),
                               centre.y - pinCircle * std::sin(angle));
        g.setColour(Colour(0xFF8C8A84));
        g.fillEllipse(circle(pin, pinRadius * 1.6f));
        g.setColour(Colour(0xFF050505));
        g.fillEllipse(circle(pin, pinRadius));
    }
    // The key notch at the top of the insert.
    g.setColour(Colour(0xFF8C8A84));
    g.fillRoundedRectangle(centre.x - radius * 0.09f, centre.y - radius * 0.80f, radius * 0.18f,
                           radius * 0.22f, 1.0f);
}

void FrontPlate::paintDeviceLabels(juce::Graphics& g)
{
    const auto thru = thruArea().toFloat();
    const auto in = inArea().toFloat();
    const float socketRadius = 22.0f;

    // THRU on the left: socket on the outer side, label towards the middle; IN mirrored.
    const Point<float> thruSocket(thru.getX() + 29.0f, thru.getCentreY());
    const Point<float> inSocket(in.getRight() - 29.0f, in.getCentreY());
    paintSocket(g, thruSocket, socketRadius);
    paintSocket(g, inSocket, socketRadius);

    const juce::Font font = letteringFont(21.0f, true);
    const float baseline = thru.getCentreY() + 7.5f;
    const auto label = [&](const juce::String& text, float centreX) {
        g.setColour(juce::Colours::black.withAlpha(0.28f));
        drawSpacedText(g, text, font, 2.0f, { centreX, baseline + 1.5f });
        g.setColour(lettering());
        drawSpacedText(g, text, font, 2.0f, { centreX, baseline });
    };
    label("THRU", (thruSocket.x + socketRadius + thru.getRight()) / 2.0f + 2.0f);
    label("IN", (in.getX() + inSocket.x - socketRadius) / 2.0f);

    // Arrows under the labels show the signal path: in at IN (right), out again at THRU (left).
    g.setColour(lettering().withAlpha(0.85f));
    const float arrowY = thru.getBottom() - 4.0f;
    Path arrows;
    arrows.addArrow({ { in.getX() + 34.0f, arrowY }, { in.getX() + 10.0f, arrowY } }, 1.6f, 7.0f,
                    6.0f);
    arrows.addArrow({ { thru.getRight() - 10.0f, arrowY }, { thru.getRight() - 36.0f, arrowY } },
                    1.6f, 7.0f, 6.0f);
    g.fillPath(arrows);
}

void FrontPlate::paintCloseCross(juce::Graphics& g)
{
    const auto area = closeArea().toFloat();
    const Point<float> c(area.getCentreX() - 1.0f, area.getCentreY() - 1.0f);
    const float r = 10.5f;
    g.setColour(juce::Colours::black.withAlpha(0.25f));
    g.fillEllipse(c.x - r, c.y - r + 1.5f, 2.0f * r, 2.0f * r);
    g.setColour(plateRecess);
    g.fillEllipse(c.x - r, c.y - r, 2.0f * r, 2.0f * r);
    g.setColour(lettering());
    g.drawEllipse(c.x - r, c.y - r, 2.0f * r, 2.0f * r, 1.6f);
    Path cross;
    const float d = 4.6f;
    cross.startNewSubPath(c.x - d, c.y - d);
    cross.lineTo(c.x + d, c.y + d);
    cross.startNewSubPath(c.x + d, c.y - d);
    cross.lineTo(c.x - d, c.y + d);
    g.fillPath(strokeOf(cross, 2.4f));
}

void FrontPlate::paintMakerLogo(juce::Graphics& g)
{
    // The IN label covers the right end of the logo area above its bottom edge, so the word
    // sits left of it and only the rule runs on underneath.
    const auto area = makerLogoArea().toFloat();
    const float wordCentre = 412.0f;
    const float baseline = 60.0f;

    // Emblem: a small frame with two bars, the module's two display lines.
    const Rectangle<float> badge(343.0f, baseline - 27.0f, 30.0f, 27.0f);
    Path frame;
    frame.addRoundedRectangle(badge, 5.0f);
    Path emblem = strokeOf(frame, 3.0f);
    emblem.addRoundedRectangle(badge.getX() + 7.0f, badge.getY() + 7.5f, 16.0f, 3.5f, 1.5f);
    emblem.addRoundedRectangle(badge.getX() + 7.0f, badge.getY() + 15.5f, 11.0f, 3.5f, 1.5f);
    fillWithShadow(g, emblem, lettering());

    const juce::Font font = letteringFont(36.0f, true);
    g.setColour(juce::Colours::black.withAlpha(0.28f));
    drawSpacedText(g, "Vantor", font, 1.0f, { wordCentre + 16.0f, baseline + 1.5f });
    g.setColour(lettering());
    drawSpacedText(g, "Vantor", font, 1.0f, { wordCentre + 16.0f, baseline });

    // The rule under the word, tapering out towards the IN socket.
    const float ruleY = baseline + 10.0f;
    g.setGradientFill(juce::ColourGradient(lettering(), area.getX() + 4.0f, ruleY,
                                           lettering().withAlpha(0.0f), area.getRight(), ruleY,
                                           false));
    g.fillRect(Rectangle<float>(area.getX() + 4.0f, ruleY, area.getWidth() - 4.0f, 1.6f));

    g.setColour(lettering().withAlpha(0.9f));
    drawSpacedText(g, "MIDI INSTRUMENTS", letteringFont(9.5f, false), 3.2f,
                   { wordCentre, ruleY + 14.0f });
}

void FrontPlate::paintDisplayWindow(juce::Graphics& g)
{
    const auto glass = displayArea().toFloat();

    // A recess in the plate, then the dark glass inside it.
    g.setColour(juce::Colours::white.withAlpha(0.18f));
    g.fillRoundedRectangle(glass.expanded(4.0f).translated(0.0f, 1.0f), 11.0f);
    g.setColour(plateRecess);
    g.fillRoundedRectangle(glass.expanded(4.0f), 11.0f);

    g.setGradientFill(juce::ColourGradient(glassTop, 0.0f, glass.getY(), glassBottom, 0.0f,
                                           glass.getBottom(), false));
    g.fillRoundedRectangle(glass, 8.0f);

    juce::Graphics::ScopedSaveState state(g);
    Path glassPath;
    glassPath.addRoundedRectangle(glass, 8.0f);
    g.reduceClipRegion(glassPath);

    // A faint amber glow in the middle, as if the display were lit from behind.
    juce::ColourGradient glow(amber.withAlpha(0.05f), glass.getCentreX(), glass.getCentreY(),
                              amber.withAlpha(0.0f), glass.getX(), glass.getY(), true);
    g.setGradientFill(glow);
    g.fillRect(glass);

    // Inner shadow along the top and left edges.
    g.setGradientFill(juce::ColourGradient(juce::Colours::black.withAlpha(0.8f), 0.0f,
                                           glass.getY(), juce::Colours::black.withAlpha(0.0f), 0.0f,
                                           glass.getY() + 14.0f, false));
    g.fillRect(glass.withHeight(14.0f));

    // A broad, very faint reflection across the upper left of the glass.
    Path sheen;
    sheen.startNewSubPath(glass.getX(), glass.getY());
    sheen.lineTo(glass.getX() + 250.0f, glass.getY());
    sheen.lineTo(glass.getX() + 120.0f, glass.getBottom());
    sheen.lineTo(glass.getX(), glass.getBottom());
    sheen.closeSubPath();
    g.setColour(juce::Colours::white.withAlpha(0.025f));
    g.fillPath(sheen);

    g.setColour(juce::Colours::white.withAlpha(0.08f));
    g.drawRoundedRectangle(glass.reduced(0.5f), 8.0f, 1.0f);
}

void FrontPlate::paintProductLogo(juce::Graphics& g)
{
    // "LUMO" in drawn, geometric letters (no font), the O a ring around an amber dot.
    const auto area = productLogoArea().toFloat();
    const float stroke = 15.0f;
    const float top = area.getY() + 24.0f;
    const float letterHeight = 76.0f;
    const float bottom = top + letterHeight;
    const float half = stroke / 2.0f;
    float x = area.getX() + 12.0f;

    Path letters;
    // L
    letters.startNewSubPath(x + half, top + half);
    letters.lineTo(x + half, bottom - half);
    letters.lineTo(x + 44.0f - half, bottom - half);
    x += 44.0f + 13.0f;
    // U
    const float uWidth = 52.0f;
    letters.startNewSubPath(x + half, top + half);
    letters.lineTo(x + half, bottom - uWidth / 2.0f);
    // Round bottom: from the left stem down through six o'clock up to the right stem (JUCE
    // measures arc angles clockwise from twelve o'clock).
    letters.addCentredArc(x + uWidth / 2.0f, bottom - uWidth / 2.0f, uWidth / 2.0f - half,
                          uWidth / 2.0f - half, 0.0f, 1.5f * juce::MathConstants<float>::pi,
                          0.5f * juce::MathConstants<float>::pi, false);
    letters.lineTo(x + uWidth - half, top + half);
    x += uWidth + 13.0f;
    // M
    const float mWidth = 66.0f;
    letters.startNewSubPath(x + half, bottom - half);
    letters.lineTo(x + half, top + half);
    letters.lineTo(x + mWidth / 2.0f, top + letterHeight * 0.55f);
    letters.lineTo(x + mWidth - half, top + half);
    letters.lineTo(x + mWidth - half, bottom - half);
    x += mWidth + 13.0f;
    Path outline = strokeOf(letters, stroke);
    fillWithShadow(g, outline, lettering());
    // O
    const float oSize = letterHeight;
    Path circle;
    circle.addEllipse(x + half, top + half, oSize - stroke, oSize - stroke);
    fillWithShadow(g, strokeOf(circle, stroke), lettering());

    const Point<float> dot(x + oSize / 2.0f, top + oSize / 2.0f);
    g.setColour(amber.withAlpha(0.35f));
    g.fillEllipse(dot.x - 11.0f, dot.y - 11.0f, 22.0f, 22.0f);
    g.setColour(amber);
    g.fillEllipse(dot.x - 7.5f, dot.y - 7.5f, 15.0f, 15.0f);

    const float logoLeft = area.getX() + 12.0f;
    const float logoRight = x + oSize;
    g.setColour(lettering().withAlpha(0.92f));
    drawSpacedText(g, "MIDI DISPLAY MODULE", letteringFont(13.0f, false), 4.6f,
                   { (logoLeft + logoRight) / 2.0f, bottom + 26.0f });
}

void FrontPlate::paintTrademark(juce::Graphics& g)
{
    const auto area = trademarkArea().toFloat();
    g.setColour(lettering());
    g.setFont(letteringFont(15.0f, true));
    g.drawText("TM", area.reduced(2.0f), juce::Justification::centred, false);
}

void FrontPlate::paintEyeEmblem(juce::Graphics& g)
{
    // An open eye: the module watches the MIDI stream.
    const Point<float> c(494.0f, 398.0f);
    const float halfWidth = 70.0f;
    const float lidHeight = 36.0f;

    Path eye;
    eye.startNewSubPath(c.x - halfWidth, c.y);
    eye.quadraticTo(c.x, c.y - 2.0f * lidHeight, c.x + halfWidth, c.y);
    eye.quadraticTo(c.x, c.y + 2.0f * lidHeight, c.x - halfWidth, c.y);
    eye.closeSubPath();

    g.setColour(juce::Colours::black.withAlpha(0.25f));
    g.fillPath(eye, juce::AffineTransform::translation(0.0f, 1.5f));
    g.setColour(plateRecess);
    g.fillPath(eye);

    // Iris and pupil, clipped by the lids.
    {
        juce::Graphics::ScopedSaveState state(g);
        g.reduceClipRegion(eye);
        const float iris = 27.0f;
        g.setGradientFill(juce::ColourGradient(amber, c.x, c.y, Colour(0xFFB86A00), c.x + iris,
                                               c.y, true));
        g.fillEllipse(c.x - iris, c.y - iris, 2.0f * iris, 2.0f * iris);
        g.setColour(Colour(0xFF120808));
        g.fillEllipse(c.x - 11.0f, c.y - 11.0f, 22.0f, 22.0f);
        g.setColour(lettering().withAlpha(0.95f));
        g.fillEllipse(c.x + 3.0f, c.y - 11.0f, 7.0f, 7.0f);
    }

    g.setColour(lettering());
    g.strokePath(eye, PathStrokeType(4.0f, PathStrokeType::curved, PathStrokeType::rounded));

    // Lashes fanning out over the upper lid.
    Path lashes;
    for (int i = -1; i <= 1; ++i)
    {
        const float angle = juce::degreesToRadians(90.0f + i * 30.0f);
        const float t = 0.5f + i * 0.22f;
        // Point on the upper lid (quadratic Bezier) at parameter t.
        const Point<float> p0(c.x - halfWidth, c.y), p1(c.x, c.y - 2.0f * lidHeight),
            p2(c.x + halfWidth, c.y);
        const Point<float> onLid = p0 * ((1 - t) * (1 - t)) + p1 * (2 * (1 - t) * t) + p2 * (t * t);
        const Point<float> from = onLid.translated(4.0f * std::cos(angle), -4.0f * std::sin(angle));
        const Point<float> to = onLid.translated(12.0f * std::cos(angle), -12.0f * std::sin(angle));
        lashes.startNewSubPath(from);
        lashes.lineTo(to);
    }
    g.fillPath(strokeOf(lashes, 3.2f));
}

void FrontPlate::paintChannelField(juce::Graphics& g)
{
    // The receive-channel selector: a recessed field the combo box writes its text into, with
    // the drop-down arrow painted where the box's own (transparent) arrow is.
    const auto combo = channelComboArea().toFloat();
    const Rectangle<float> field(combo.getX() - 2.0f, combo.getY() - 1.0f, 96.0f,
                                 combo.getHeight() + 2.0f);
    g.setColour(juce::Colours::white.withAlpha(0.16f));
    g.fillRoundedRectangle(field.translated(0.0f, 1.0f), 5.0f);
    g.setColour(plateRecess);
    g.fillRoundedRectangle(field, 5.0f);
    g.setColour(juce::Colours::black.withAlpha(0.3f));
    g.drawRoundedRectangle(field.reduced(0.5f), 5.0f, 1.0f);

    Path arrow;
    const float ax = field.getRight() - 12.0f;
    const float ay = field.getCentreY() + 1.0f;
    arrow.addTriangle(ax - 5.0f, ay - 3.0f, ax + 5.0f, ay - 3.0f, ax, ay + 3.5f);
    g.setColour(lettering());
    g.fillPath(arrow);

    g.setColour(lettering().withAlpha(0.92f));
    const juce::Font font = letteringFont(11.0f, false).withExtraKerningFactor(0.18f);
    g.setFont(font);
    g.drawText("CHANNEL", Rectangle<float>(field.getX() - 86.0f, field.getY(), 78.0f,
                                           field.getHeight()),
               juce::Justification::centredRight, false);
}

juce::StringArray FrontPlate::check(const juce::Image& picture)
{
    juce::StringArray problems;
    if (!picture.isValid())
    {
        problems.add("the picture cannot be read");
        return problems;
    }
    if (picture.getWidth() != width || picture.getHeight() != height)
        problems.add("size is " + juce::String(picture.getWidth()) + " x "
                     + juce::String(picture.getHeight()) + ", not 640 x 494");
    if (!picture.hasAlphaChannel())
        problems.add("the picture has no alpha channel");
    if (!problems.isEmpty())
        return problems;

    const juce::Image::BitmapData bits(picture, juce::Image::BitmapData::readOnly);
    const auto pixel = [&](int x, int y) { return bits.getPixelColour(x, y); };

    // Outside the 50 x 50 corner ellipses the window shows nothing, so the picture must not
    // either; well inside them the plate is opaque.
    const int last = width - 1, bottom = height - 1;
    const Point<int> corners[] = { { 0, 0 }, { last, 0 }, { 0, bottom }, { last, bottom },
                                   { 4, 4 }, { last - 4, 4 }, { 4, bottom - 4 },
                                   { last - 4, bottom - 4 } };
    for (const auto& p : corners)
        if (pixel(p.x, p.y).getAlpha() != 0)
            problems.add("corner pixel " + p.toString() + " is not transparent");
    const Point<int> opaque[] = { { 25, 0 }, { 0, 25 }, { last - 25, 0 }, { 20, 20 },
                                  { width / 2, height / 2 }, { 12, bottom - 12 },
                                  { last - 12, bottom - 12 }, { width / 2, 0 },
                                  { width / 2, bottom } };
    for (const auto& p : opaque)
        if (pixel(p.x, p.y).getAlpha() != 255)
            problems.add("plate pixel " + p.toString() + " is not opaque");

    // The plate is red where nothing is painted on it.
    for (const auto& p : { Point<int>(250, 30), Point<int>(330, 380), Point<int>(10, 250) })
    {
        const Colour c = pixel(p.x, p.y);
        if (!(c.getRed() > 110 && c.getGreen() < 70 && c.getBlue() < 70))
            problems.add("plate pixel " + p.toString() + " is not red: " + c.toDisplayString(true));
    }

    // The display window is dark over its whole area.
    const auto display = displayArea();
    int brightPixels = 0;
    for (int y = display.getY() + 10; y < display.getBottom() - 10; y += 3)
        for (int x = display.getX() + 10; x < display.getRight() - 10; x += 3)
            if (pixel(x, y).getBrightness() > 0.2f)
                ++brightPixels;
    if (brightPixels > 0)
        problems.add("the display window has " + juce::String(brightPixels) + " bright pixels");
    for (const auto& p : { display.getTopLeft().translated(-6, 20),
                           display.getBottomRight().translated(6, -20) })
        if (pixel(p.x, p.y).getBrightness() < 0.2f && pixel(p.x, p.y).getAlpha() == 255
            && pixel(p.x, p.y).getRed() < 90)
            problems.add("the display window reaches beyond its area at " + p.toString());

    // Each labelled area carries cream lettering.
    const auto hasLettering = [&](Rectangle<int> area) {
        const Colour cream = lettering();
        area = area.getIntersection({ 0, 0, width, height });
        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
            {
                const Colour c = pixel(x, y);
                if (std::abs(c.getRed() - cream.getRed()) < 12
                    && std::abs(c.getGreen() - cream.getGreen()) < 12
                    && std::abs(c.getBlue() - cream.getBlue()) < 24)
                    return true;
            }
        return false;
    };
    const struct
    {
        const char* name;
        Rectangle<int> area;
    } labelled[] = { { "THRU label", thruArea() },          { "IN label", inArea() },
                     { "close cross", closeArea() },        { "maker logo", makerLogoArea() },
                     { "product logo", productLogoArea() }, { "trademark sign", trademarkArea() },
                     { "eye emblem", { 424, 330, 140, 110 } } };
    for (const auto& item : labelled)
        if (!hasLettering(item.area))
            problems.add(juce::String("no lettering in the ") + item.name + " area "
                         + item.area.toString());
    return problems;
}
