// plategen: draws the front-plate picture and the program icon, or checks a picture.
//
//   plategen --picture <out.png> [--icon <out.ico>]   draw the files (the picture also at 2x and
//                                                     4x, as <out>2x.png and <out>4x.png)
//   plategen --icon-theme <folder>                     draw the icon into an icon theme folder
//                                                      (<size>x<size>/apps/lumo.png)
//   plategen --check <picture.png>                     check a picture against the panel layout
//   plategen --self-check                              draw in memory and check the result
//
// Exit status 0 on success, 1 if a check finds problems or a file cannot be written, 2 on a
// usage error.
#include "FrontPlate.h"
#include "PlateIcon.h"

#include <cstdio>

namespace
{

int report(const juce::String& what, const juce::StringArray& problems)
{
    for (const auto& problem : problems)
        std::fprintf(stderr, "plategen: %s: %s\n", what.toRawUTF8(), problem.toRawUTF8());
    if (problems.isEmpty())
        std::printf("plategen: %s: matches the panel layout\n", what.toRawUTF8());
    return problems.isEmpty() ? 0 : 1;
}

int usage()
{
    std::fprintf(stderr, "usage: plategen --picture <out.png> [--icon <out.ico>]\n"
                         "       plategen --icon-theme <folder>\n"
                         "       plategen --check <picture.png>\n"
                         "       plategen --self-check\n");
    return 2;
}

int run(const juce::StringArray& args)
{
    juce::String picturePath, iconPath, checkPath, themePath;
    bool selfCheck = false;
    for (int i = 0; i < args.size(); ++i)
    {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--picture" && hasValue)
            picturePath = args[++i];
        else if (args[i] == "--icon" && hasValue)
            iconPath = args[++i];
        else if (args[i] == "--icon-theme" && hasValue)
            themePath = args[++i];
        else if (args[i] == "--check" && hasValue)
            checkPath = args[++i];
        else if (args[i] == "--self-check")
            selfCheck = true;
        else
            return usage();
    }

    if (selfCheck)
        return report("fresh drawing", FrontPlate::check(FrontPlate::draw()));

    if (checkPath.isNotEmpty())
    {
        const juce::File file = juce::File::getCurrentWorkingDirectory().getChildFile(checkPath);
        return report(file.getFullPathName(), FrontPlate::check(juce::ImageFileFormat::loadFrom(file)));
    }

    if (themePath.isNotEmpty())
    {
        const juce::File folder = juce::File::getCurrentWorkingDirectory().getChildFile(themePath);
        if (!PlateIcon::writeThemeIcons(folder, "lumo"))
        {
            std::fprintf(stderr, "plategen: cannot write the icons into %s\n", folder.getFullPathName().toRawUTF8());
            return 1;
        }
        std::printf("plategen: wrote the icons into %s\n", folder.getFullPathName().toRawUTF8());
        if (picturePath.isEmpty())
            return 0;
    }

    if (picturePath.isEmpty())
        return usage();

    const juce::Image picture = FrontPlate::draw();
    const juce::StringArray problems = FrontPlate::check(picture);
    if (!problems.isEmpty())
        return report("drawing", problems);

    const juce::File pictureFile = juce::File::getCurrentWorkingDirectory().getChildFile(picturePath);
    juce::MemoryOutputStream png;
    juce::PNGImageFormat format;
    if (!format.writeImageToStream(picture, png)
        || !pictureFile.replaceWithData(png.getData(), png.getDataSize()))
    {
        std::fprintf(stderr, "plategen: cannot write %s\n", pictureFile.getFullPathName().toRawUTF8());
        return 1;
    }
    std::printf("plategen: wrote %s\n", pictureFile.getFullPathName().toRawUTF8());
    for (const int scale : FrontPlate::extraScales)
    {
        const juce::File scaledFile = pictureFile.getSiblingFile(FrontPlate::scaledFileName(pictureFile.getFileName(), scale));
        juce::MemoryOutputStream scaledPng;
        if (!format.writeImageToStream(FrontPlate::draw(scale), scaledPng)
            || !scaledFile.replaceWithData(scaledPng.getData(), scaledPng.getDataSize()))
        {
            std::fprintf(stderr, "plategen: cannot write %s\n", scaledFile.getFullPathName().toRawUTF8());
            return 1;
        }
        std::printf("plategen: wrote %s\n", scaledFile.getFullPathName().toRawUTF8());
    }

    if (iconPath.isNotEmpty())
    {
        const juce::File iconFile = juce::File::getCurrentWorkingDirectory().getChildFile(iconPath);
        if (!PlateIcon::writeIco(iconFile))
        {
            std::fprintf(stderr, "plategen: cannot write %s\n", iconFile.getFullPathName().toRawUTF8());
            return 1;
        }
        std::printf("plategen: wrote %s\n", iconFile.getFullPathName().toRawUTF8());
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add(juce::String::fromUTF8(argv[i]));
    const int status = run(args);
    // Releases JUCE's font caches before the leak checks of a debug build run.
    juce::DeletedAtShutdown::deleteAll();
    return status;
}
