#include "app/AppPlatform.h"

#include <windows.h>

namespace AppPlatform
{

std::unique_ptr<juce::Drawable> loadImageResource(const juce::String& fileName)
{
    // "background.png" is the resource BACKGROUND of type PNG; resource names ignore case.
    const auto dot = fileName.lastIndexOfChar('.');
    const auto name = (dot >= 0 ? fileName.substring(0, dot) : fileName).toUpperCase();
    const auto type = (dot >= 0 ? fileName.substring(dot + 1) : juce::String()).toUpperCase();
    if (name.isEmpty() || type.isEmpty())
        return nullptr;

    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, name.toRawUTF8(), type.toRawUTF8());
    if (info == nullptr)
        return nullptr;
    HGLOBAL handle = LoadResource(module, info);
    if (handle == nullptr)
        return nullptr;

    std::unique_ptr<juce::Drawable> result;
    const void* data = LockResource(handle);
    const DWORD size = SizeofResource(module, info);
    if (data != nullptr && size > 0)
        result = juce::Drawable::createFromImageData(data, static_cast<size_t>(size));
    FreeResource(handle);
    return result;
}

bool shapeNativeWindow(void* handle, int width, int height, int corner)
{
    HRGN region = CreateRoundRectRgn(0, 0, width, height, corner, corner);
    if (region == nullptr)
        return false;
    // On success the system owns the region.
    if (SetWindowRgn(static_cast<HWND>(handle), region, TRUE) == 0)
    {
        DeleteObject(region);
        return false;
    }
    return true;
}

namespace
{
int CALLBACK stopAtFirstFont(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}
} // namespace

bool isFontFaceInstalled(const juce::String& faceName)
{
    if (faceName.isEmpty() || faceName.length() >= LF_FACESIZE)
        return false;

    LOGFONTW font {};
    font.lfHeight = 0;
    font.lfCharSet = DEFAULT_CHARSET;
    faceName.copyToUTF16(reinterpret_cast<juce::CharPointer_UTF16::CharType*>(font.lfFaceName),
                         sizeof(font.lfFaceName));

    bool found = false;
    HDC screen = GetDC(nullptr);
    if (screen == nullptr)
        return false;
    EnumFontFamiliesExW(screen, &font, stopAtFirstFont, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

bool hasModernTextMetrics()
{
    return juce::SystemStats::getOperatingSystemType() >= juce::SystemStats::Windows8_0;
}

void keepRepaintsFlowing()
{
    // The toolkit hands repaints over at the display's vertical blank; where none is reported
    // (Wine) the patched toolkit hands each repaint over at once (cmake/LumoJuceMingw.cmake), so
    // nothing here has to wake the program to keep them flowing.
}

} // namespace AppPlatform
