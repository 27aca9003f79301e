#include "ui/SourceStyle.h"

#include "ui/Icons.h"
#include "ui/Palette.h"

#include <array>

namespace {

struct Style
{
    const QColor& color;
    const char16_t* iconName;
};

// One row per source, in source order.
const std::array<Style, ModelSource::count> kStyles{{
    {Palette::indigo, u"package-x-generic"},
    {Palette::purple, u"cpu"},
    {Palette::orange, u"face-smile"},
    {Palette::pink, u"applications-graphics"},
    {Palette::teal, u"audio-x-generic"},
    {Palette::blue, u"text-x-script"},
    {Palette::green, u"text-x-generic"},
    {Palette::brown, u"folder"},
    {Palette::slate, u"brimvale-llamacpp"},
    {Palette::mint, u"brimvale-gpt4all"},
    {Palette::cyan, u"brimvale-jan"},
    {Palette::navy, u"brimvale-dockermodels"},
    {Palette::crimson, u"brimvale-pytorchhub"},
    {Palette::magenta, u"image-x-generic"},
    {Palette::violet, u"brimvale-invokeai"},
    {Palette::olive, u"brimvale-textgenwebui"},
    {Palette::yellow, u"brimvale-modelscope"},
}};

} // namespace

namespace SourceStyle {

QColor color(ModelSource source)
{
    return kStyles[source.value()].color;
}

QString iconName(ModelSource source)
{
    return QString::fromUtf16(kStyles[source.value()].iconName);
}

QIcon icon(ModelSource source)
{
    return Icons::tinted(iconName(source), color(source));
}

} // namespace SourceStyle
