#include "app/AppPlatform.h"

#include <LumoResources.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace
{
// Implemented at the end of this file, after the X11 headers, whose macros clash with JUCE names.
bool shapeX11Window(unsigned long window, int width, int height, int corner);
}

namespace AppPlatform
{

std::unique_ptr<juce::Drawable> loadImageResource(const juce::String& fileName)
{
    for (int i = 0; i < LumoResources::namedResourceListSize; ++i)
    {
        if (! fileName.equalsIgnoreCase(LumoResources::originalFilenames[i]))
            continue;

        int size = 0;
        const char* data = LumoResources::getNamedResource(LumoResources::namedResourceList[i], size);
        if (data == nullptr || size <= 0)
            return nullptr;
        return juce::Drawable::createFromImageData(data, static_cast<size_t>(size));
    }
    return nullptr;
}

bool shapeNativeWindow(void* handle, int width, int height, int corner)
{
    return shapeX11Window(static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(handle)), width, height, corner);
}

bool isFontFaceInstalled(const juce::String& faceName)
{
    return juce::Font::findAllTypefaceNames().contains(faceName, true);
}

bool hasModernTextMetrics()
{
    return true;
}

void keepRepaintsFlowing()
{
    // The toolkit repaints from its own timer here.
}

} // namespace AppPlatform

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

namespace
{

// Left inset of row `y` of a rounded rectangle `height` rows high whose corners are quarter
// ellipses of `corner` x `corner` pixels (the rows between the corners have none).
int cornerInset(int y, int height, int corner)
{
    const double radius = corner / 2.0;
    const int rowFromEdge = y < height / 2 ? y : height - 1 - y;
    if (rowFromEdge >= radius)
        return 0;
    const double dy = radius - (rowFromEdge + 0.5);
    return static_cast<int>(std::lround(radius - std::sqrt(radius * radius - dy * dy)));
}

bool shapeX11Window(unsigned long window, int width, int height, int corner)
{
    if (width <= 0 || height <= 0)
        return false;

    // A connection of our own: the shape belongs to the window on the server, not to a client.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return false;

    int eventBase = 0;
    int errorBase = 0;
    const bool supported = XShapeQueryExtension(display, &eventBase, &errorBase) != 0;
    if (supported)
    {
        corner = std::min({ corner, width, height });
        std::vector<XRectangle> rows;
        const int cornerRows = (corner + 1) / 2;
        for (int y = 0; y < height; ++y)
        {
            const bool inCorner = y < cornerRows || y >= height - cornerRows;
            if (! inCorner)
            {
                // One band for the straight middle part.
                const int bandEnd = height - cornerRows;
                rows.push_back({ 0, static_cast<short>(y), static_cast<unsigned short>(width),
                                 static_cast<unsigned short>(bandEnd - y) });
                y = bandEnd - 1;
                continue;
            }
            const int inset = cornerInset(y, height, corner);
            if (width - 2 * inset > 0)
                rows.push_back({ static_cast<short>(inset), static_cast<short>(y),
                                 static_cast<unsigned short>(width - 2 * inset), 1 });
        }
        XShapeCombineRectangles(display, static_cast<Window>(window), ShapeBounding, 0, 0,
                                rows.data(), static_cast<int>(rows.size()), ShapeSet, YXBanded);
        XSync(display, False);
    }
    XCloseDisplay(display);
    return supported;
}

} // namespace
