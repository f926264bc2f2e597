#include "PlateIcon.h"

#include "app/PlateLayout.h"

namespace
{

const juce::Colour cream(PlateLayout::kLetteringColour);
const juce::Colour amber(PlateLayout::kDisplayColour);

void writeLittleEndian16(juce::OutputStream& out, int value)
{
    out.writeShort(static_cast<short>(value));
}

} // namespace

juce::Image PlateIcon::draw(int size)
{
    juce::Image image(juce::Image::ARGB, size, size, true);
    juce::Graphics g(image);
    const float s = static_cast<float>(size);

    const juce::Rectangle<float> plate(0.0f, 0.0f, s, s);
    g.setGradientFill(juce::ColourGradient(juce::Colour(0xFFD02624), 0.0f, 0.0f,
                                           juce::Colour(0xFF8E1311), 0.0f, s, false));
    g.fillRoundedRectangle(plate, s * 0.2f);

    // The eye, scaled to the icon; small sizes get thicker lines so they stay legible.
    const juce::Point<float> c(s / 2.0f, s / 2.0f);
    const float halfWidth = s * 0.40f;
    const float lid = s * 0.24f;
    juce::Path eye;
    eye.startNewSubPath(c.x - halfWidth, c.y);
    eye.quadraticTo(c.x, c.y - 2.0f * lid, c.x + halfWidth, c.y);
    eye.quadraticTo(c.x, c.y + 2.0f * lid, c.x - halfWidth, c.y);
    eye.closeSubPath();
    g.setColour(juce::Colour(0xFF5E0A09));
    g.fillPath(eye);
    {
        juce::Graphics::ScopedSaveState state(g);
        g.reduceClipRegion(eye);
        const float iris = s * 0.17f;
        g.setColour(amber);
        g.fillEllipse(c.x - iris, c.y - iris, 2.0f * iris, 2.0f * iris);
        const float pupil = s * 0.07f;
        g.setColour(juce::Colour(0xFF120808));
        g.fillEllipse(c.x - pupil, c.y - pupil, 2.0f * pupil, 2.0f * pupil);
    }
    g.setColour(cream);
    g.strokePath(eye, juce::PathStrokeType(juce::jmax(1.2f, s * 0.055f)));
    return image;
}

bool PlateIcon::writeIco(const juce::File& file)
{
    const int sizes[] = { 16, 24, 32, 48, 256 };
    juce::Array<juce::MemoryBlock> pngs;
    for (int size : sizes)
    {
        juce::MemoryOutputStream png;
        juce::PNGImageFormat format;
        if (!format.writeImageToStream(draw(size), png))
            return false;
        pngs.add(png.getMemoryBlock());
    }

    // ICONDIR, then one ICONDIRENTRY per image, then the images (all little-endian).
    juce::MemoryOutputStream ico;
    writeLittleEndian16(ico, 0); // reserved
    writeLittleEndian16(ico, 1); // type: icon
    writeLittleEndian16(ico, pngs.size());
    int offset = 6 + 16 * pngs.size();
    for (int i = 0; i < pngs.size(); ++i)
    {
        const int size = sizes[i];
        ico.writeByte(static_cast<char>(size >= 256 ? 0 : size)); // 0 means 256
        ico.writeByte(static_cast<char>(size >= 256 ? 0 : size));
        ico.writeByte(0); // no palette
        ico.writeByte(0); // reserved
        writeLittleEndian16(ico, 1);  // colour planes
        writeLittleEndian16(ico, 32); // bits per pixel
        ico.writeInt(static_cast<int>(pngs[i].getSize()));
        ico.writeInt(offset);
        offset += static_cast<int>(pngs[i].getSize());
    }
    for (const auto& png : pngs)
        ico.write(png.getData(), png.getSize());

    file.deleteFile();
    return file.replaceWithData(ico.getData(), ico.getDataSize());
}

const juce::Array<int>& PlateIcon::themeSizes()
{
    static const juce::Array<int> sizes { 16, 22, 24, 32, 48, 64, 128, 256 };
    return sizes;
}

bool PlateIcon::writeThemeIcons(const juce::File& folder, const juce::String& name)
{
    for (int size : themeSizes())
    {
        const juce::File file = folder.getChildFile(juce::String(size) + "x" + juce::String(size))
                                    .getChildFile("apps")
                                    .getChildFile(name + ".png");
        juce::MemoryOutputStream png;
        juce::PNGImageFormat format;
        if (!file.getParentDirectory().createDirectory() || !format.writeImageToStream(draw(size), png)
            || !file.replaceWithData(png.getData(), png.getDataSize()))
            return false;
    }
    return true;
}
