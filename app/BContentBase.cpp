#include "app/BContentBase.h"

#include "app/AppPlatform.h"
#include "app/BWindow.h"

#include <cmath>

BContentBase::BContentBase() = default;

BContentBase::~BContentBase()
{
    if (listenedWindow != nullptr && listenedWindow == BWindow::getMainWindow())
        listenedWindow->removeMouseListener(this);
}

void BContentBase::buildContent()
{
    backgroundImage = AppPlatform::loadImageResource("background.png");
    if (backgroundImage != nullptr)
    {
        const auto bounds = backgroundImage->getDrawableBounds();
        contentWidth = static_cast<int>(bounds.getWidth());
        contentHeight = static_cast<int>(bounds.getHeight());
    }

    if (auto* window = BWindow::getMainWindow(); window != nullptr && listenedWindow == nullptr)
    {
        // Not for the window's children: the panel's own mouse handlers cover those.
        window->addMouseListener(this, false);
        listenedWindow = window;
    }
}

bool BContentBase::initialise(const juce::String&) { return true; }
void BContentBase::commandLineFromOtherInstance(const juce::String&) {}
void BContentBase::startMidi() {}
bool BContentBase::canClose() { return true; }
void BContentBase::shutdownContent() {}
void BContentBase::contentStepDone() {}
bool BContentBase::wantsResizable() { return false; }
bool BContentBase::wantsVisible() { return true; }

void BContentBase::setPlateScale(float scale)
{
    plateScale = scale;
    repaint();
}

void BContentBase::paint(juce::Graphics& g)
{
    if (backgroundImage == nullptr)
        return;
    // Screen pixels per picture pixel of the plain picture: the zoom times the display's scale.
    const float shown = plateScale * g.getInternalContext().getPhysicalPixelScaleFactor();
    for (const int scale : { 2, 4 })
    {
        if (shown <= 1.001f || (shown > 2.001f && scale == 2))
            continue;
        const juce::Image& picture = sharperPicture(scale);
        if (! picture.isValid())
            break;
        // Never enlarged (up to 4 times the plate's size): only drawn at its size or smaller.
        g.setImageResamplingQuality(juce::Graphics::highResamplingQuality);
        g.drawImageTransformed(picture, juce::AffineTransform::scale(plateScale / static_cast<float>(scale)));
        return;
    }
    // The display's text changes up to once a frame; the plate behind it is copied then. Between
    // the rounded corners the picture is opaque, so there an opaque copy of it draws the same
    // pixels without blending each one.
    const auto* plain = dynamic_cast<const juce::DrawableImage*>(backgroundImage.get());
    if (shown <= 1.001f && shown >= 0.999f && plain != nullptr
        && getLocalBounds().reduced(0, kOpaqueBandInset).contains(g.getClipBounds()))
    {
        if (! opaquePicture.isValid())
            opaquePicture = plain->getImage().convertedToFormat(juce::Image::RGB);
        // Only the part to paint: the toolkit builds a clip shape over the whole of the image drawn.
        const auto area = g.getClipBounds().getIntersection(opaquePicture.getBounds());
        g.drawImage(opaquePicture, area.getX(), area.getY(), area.getWidth(), area.getHeight(), area.getX(),
                    area.getY(), area.getWidth(), area.getHeight());
        return;
    }
    backgroundImage->draw(g, 1.0f, juce::AffineTransform::scale(plateScale));
}

juce::Rectangle<int> BContentBase::getOpaqueArea() const
{
    if (backgroundImage == nullptr)
        return {};
    const int inset = static_cast<int>(std::ceil(static_cast<float>(kOpaqueBandInset) * plateScale));
    return getLocalBounds().reduced(1, inset);
}

const juce::Image& BContentBase::sharperPicture(int scale)
{
    if (sharperImageScale != scale)
    {
        sharperImageScale = scale;
        sharperImage = {};
        const auto drawable = AppPlatform::loadImageResource("background" + juce::String(scale) + "x.png");
        if (const auto* image = dynamic_cast<const juce::DrawableImage*>(drawable.get()))
            sharperImage = image->getImage();
    }
    return sharperImage;
}

void BContentBase::mouseDown(const juce::MouseEvent& event)
{
    if (! event.mods.isLeftButtonDown())
        return;
    if (auto* window = BWindow::getMainWindow())
    {
        dragOriginX = window->getX();
        dragOriginY = window->getY();
    }
}

void BContentBase::mouseDrag(const juce::MouseEvent& event)
{
    moveWindowBy(event);
}

void BContentBase::mouseUp(const juce::MouseEvent& event)
{
    moveWindowBy(event);
    if (event.mods.isLeftButtonDown())
    {
        dragOriginX = kNoDrag;
        dragOriginY = kNoDrag;
    }
}

void BContentBase::mouseDoubleClick(const juce::MouseEvent& event)
{
    auto* window = BWindow::getMainWindow();
    if (window == nullptr || event.eventComponent != window)
        return;
    if (event.mods.isLeftButtonDown() && ! event.mods.isRightButtonDown()
        && event.getPosition().getY() < window->getTitleBarHeight())
        window->setMinimised(true);
}

void BContentBase::moveWindowBy(const juce::MouseEvent& event)
{
    auto* window = BWindow::getMainWindow();
    if (window == nullptr || dragOriginX == kNoDrag)
        return;

    // Screen coordinates: the window moves under the mouse, so positions relative to it would
    // feed the movement back into itself.
    const auto offset = event.getScreenPosition() - event.getMouseDownScreenPosition();
    window->setTopLeftPosition(dragOriginX + juce::roundToInt(static_cast<float>(offset.x)),
                               dragOriginY + juce::roundToInt(static_cast<float>(offset.y)));
}
