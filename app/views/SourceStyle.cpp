#include "views/SourceStyle.h"

#include "views/Icons.h"
#include "views/Palette.h"

namespace SourceStyle {

QColor color(ModelSource source)
{
    switch (source.value()) {
    case ModelSource::ollama:
        return Palette::indigo;
    case ModelSource::lmStudio:
        return Palette::purple;
    case ModelSource::huggingFace:
        return Palette::orange;
    case ModelSource::comfyUI:
        return Palette::pink;
    case ModelSource::whisper:
        return Palette::teal;
    case ModelSource::codingCache:
        return Palette::blue;
    case ModelSource::loose:
        return Palette::green;
    case ModelSource::custom:
        return Palette::brown;
    }
    return Palette::blue;
}

QString iconName(ModelSource source)
{
    switch (source.value()) {
    case ModelSource::ollama:
        return QStringLiteral("package-x-generic");
    case ModelSource::lmStudio:
        return QStringLiteral("cpu");
    case ModelSource::huggingFace:
        return QStringLiteral("face-smile");
    case ModelSource::comfyUI:
        return QStringLiteral("applications-graphics");
    case ModelSource::whisper:
        return QStringLiteral("audio-x-generic");
    case ModelSource::codingCache:
        return QStringLiteral("text-x-script");
    case ModelSource::loose:
        return QStringLiteral("text-x-generic");
    case ModelSource::custom:
        return QStringLiteral("folder");
    }
    return QStringLiteral("folder");
}

QIcon icon(ModelSource source)
{
    return Icons::tinted(iconName(source), color(source));
}

} // namespace SourceStyle
