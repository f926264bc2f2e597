// What the main panel keeps in its settings file, and its view (zoom, always on top) with how the
// window follows it.
#include "app/AppContentPanel.h"

#include "app/BWindow.h"
#include "app/WindowPosition.h"
#include "base/TIniFile.h"
#include "midi/TMidiAliasManager.h"

#include <cmath>

// ---- settings ----

void AppContentPanel::loadSettings()
{
    settingsFile.load([this](const BString& problem) { errorReports.report(problem); }, [this](TIniFile& settings) {
        view.load(settings);
        applyZoom(false);
        applyKeptInFront();
        restoreWindowPosition(*this, settings, getShownWidth(), getShownHeight());
        if (TMidiAliasManager* aliases = TMidiAliasManager::peekInstance())
            aliases->load(settings);

        programNames.load(settings);

        const int stored = ModuleProtocol::readReceiveChannel(settings, protocol.getReceiveChannel());
        protocol.setReceiveChannel(stored);   // at once: Program Changes may arrive before the combo box tells us
        if (channelCombo != nullptr)
        {
            // A value the list cannot show (above 16 channels) selects nothing, which means OMNI.
            const int position = stored < 0 ? 0 : (stored < kChannelCount ? stored + 1 : -1);
            channelCombo->setSelectedId(channelCombo->getItemId(position), juce::sendNotificationAsync);
        }
    });
}

void AppContentPanel::saveSettings()
{
    settingsFile.save([this](TIniFile& settings) {
        saveWindowPosition(*this, settings);
        if (TMidiAliasManager* aliases = TMidiAliasManager::peekInstance())
            aliases->save(settings);
        programNames.save(settings);
        ModuleProtocol::writeReceiveChannel(settings, protocol.getReceiveChannel());
        view.save(settings);
    });
}

// ---- view: zoom and always on top ----

void AppContentPanel::setZoomPercent(int percent)
{
    percent = PanelViewSettings::validZoom(percent);
    if (percent == view.zoomPercent)
        return;
    view.zoomPercent = percent;
    applyZoom(true);
}

void AppContentPanel::applyZoom(bool resizeWindow)
{
    const float scale = view.scale();
    setPlateScale(scale);
    // The children keep their plate coordinates; the transform scales where they are, how large
    // they are and how they draw (text and outlines as vectors, so they stay sharp), and the
    // tooltips and pop-up lists follow it.
    const auto transform = view.zoomPercent == PanelViewSettings::kDefaultZoom
                               ? juce::AffineTransform() : juce::AffineTransform::scale(scale);
    for (auto* child : getChildren())
        child->setTransform(transform);
    if (auto* window = BWindow::getMainWindow(); resizeWindow && window != nullptr && window->getContent() == this)
        window->contentSizeChanged();   // which sizes the panel with it
    else
        setSize(getShownWidth(), getShownHeight());
}

void AppContentPanel::setKeptInFront(bool inFront)
{
    view.alwaysOnTop = inFront;
    applyKeptInFront();
}

void AppContentPanel::applyKeptInFront()
{
    if (auto* window = BWindow::getMainWindow(); window != nullptr && window->getContent() == this)
        window->setKeptInFront(view.alwaysOnTop);
}

juce::PopupMenu AppContentPanel::makeViewMenu()
{
    juce::PopupMenu menu;
    for (const int step : PanelViewSettings::kZoomSteps)
        menu.addItem(step, "Zoom " + juce::String(step) + " %", true, step == view.zoomPercent);
    menu.addSeparator();
    menu.addItem(kMenuOnTopId, "Always on top", true, view.alwaysOnTop);
    return menu;
}

void AppContentPanel::menuItemChosen(int itemId)
{
    if (itemId == kMenuOnTopId)
        setKeptInFront(! view.alwaysOnTop);
    else if (itemId != 0)
        setZoomPercent(itemId);
}

void AppContentPanel::mouseDown(const juce::MouseEvent& event)
{
    if (! event.mods.isPopupMenu() || event.eventComponent != this)
    {
        BContentBase::mouseDown(event);
        return;
    }
    juce::Component::SafePointer<AppContentPanel> self(this);
    makeViewMenu().showMenuAsync(juce::PopupMenu::Options().withTargetScreenArea(
                                     juce::Rectangle<int>(1, 1).withPosition(event.getScreenPosition())),
                                 [self](int itemId) {
                                     if (self != nullptr)
                                         self->menuItemChosen(itemId);
                                 });
}

void AppContentPanel::mouseWheelMove(const juce::MouseEvent& event, const juce::MouseWheelDetails& wheel)
{
    if (! event.mods.isCtrlDown())
    {
        BContentBase::mouseWheelMove(event, wheel);
        return;
    }
    // One step per notch of a wheel; a touch pad's small movements add up to one.
    constexpr float kStepTravel = 0.15f;
    wheelTravel += wheel.isReversed ? -wheel.deltaY : wheel.deltaY;
    if (std::abs(wheelTravel) < kStepTravel)
        return;
    const bool larger = wheelTravel > 0.0f;
    wheelTravel = 0.0f;
    setZoomPercent(larger ? PanelViewSettings::largerZoom(view.zoomPercent)
                          : PanelViewSettings::smallerZoom(view.zoomPercent));
}

bool AppContentPanel::keyPressed(const juce::KeyPress& key)
{
    if (! key.getModifiers().isCommandDown())
        return false;
    const int code = key.getKeyCode();
    const juce::juce_wchar text = key.getTextCharacter();
    const auto is = [&](char c) { return code == c || text == static_cast<juce::juce_wchar>(c); };
    if (is('+') || is('=') || code == juce::KeyPress::numberPadAdd)
        setZoomPercent(PanelViewSettings::largerZoom(view.zoomPercent));
    else if (is('-') || is('_') || code == juce::KeyPress::numberPadSubtract)
        setZoomPercent(PanelViewSettings::smallerZoom(view.zoomPercent));
    else if (is('0') || code == juce::KeyPress::numberPad0)
        setZoomPercent(PanelViewSettings::kDefaultZoom);
    else
        return false;
    return true;
}
