#include "model/ModelSource.h"

#include <QCoreApplication>
#include <utility>

namespace {

struct SourceTexts
{
    const char16_t* raw;
    // Product names stay as they are; the generic labels are marked for translation.
    const char* label;
    const char* shortLabel;
    const char16_t* symbol;
};

constexpr std::array<SourceTexts, ModelSource::count> kTexts{{
    {u"Ollama", "Ollama", "Ollama", u"cube.box"},
    {u"LmStudio", "LM Studio", "LM Studio", u"cpu"},
    {u"HuggingFace", "Hugging Face", "Hugging Face", u"face.smiling"},
    {u"ComfyUi", "ComfyUI", "ComfyUI", u"paintpalette"},
    {u"Whisper", "Whisper", "Whisper", u"waveform"},
    {u"CodingCache", QT_TRANSLATE_NOOP("ModelSource", "AI Caches"),
     QT_TRANSLATE_NOOP("ModelSource", "AI Cache"), u"chevron.left.forwardslash.chevron.right"},
    {u"Loose", QT_TRANSLATE_NOOP("ModelSource", "Loose Files"),
     QT_TRANSLATE_NOOP("ModelSource", "Loose File"), u"doc"},
    {u"Custom", QT_TRANSLATE_NOOP("ModelSource", "Custom Folders"),
     QT_TRANSLATE_NOOP("ModelSource", "Custom"), u"folder"},
    {u"LlamaCpp", "llama.cpp", "llama.cpp", u"terminal"},
    {u"Gpt4All", "GPT4All", "GPT4All", u"bubble.left"},
    {u"Jan", "Jan", "Jan", u"hand.wave"},
    {u"DockerModels", "Docker Model Runner", "Docker", u"shippingbox"},
    {u"PyTorchHub", "PyTorch Hub", "PyTorch Hub", u"flame"},
    {u"SdWebUi", "Stable Diffusion WebUI", "SD WebUI", u"photo"},
    {u"InvokeAi", "InvokeAI", "InvokeAI", u"wand.and.stars"},
    {u"TextGenWebUi", "text-generation-webui", "TextGen WebUI", u"text.bubble"},
    {u"ModelScope", "ModelScope", "ModelScope", u"scope"},
}};

template <size_t... I>
constexpr std::array<ModelSource, sizeof...(I)> casesOf(std::index_sequence<I...>)
{
    return {ModelSource(static_cast<ModelSource::Value>(I))...};
}

} // namespace

const std::array<ModelSource, ModelSource::count>& ModelSource::allCases()
{
    static constexpr std::array<ModelSource, count> cases =
        casesOf(std::make_index_sequence<count>());
    return cases;
}

std::optional<ModelSource> ModelSource::fromRawValue(QStringView raw)
{
    for (ModelSource source : allCases()) {
        if (raw == QStringView(kTexts[source.value()].raw))
            return source;
    }
    return std::nullopt;
}

QString ModelSource::rawValue() const
{
    return QString::fromUtf16(kTexts[m_value].raw);
}

QString ModelSource::label() const
{
    return QCoreApplication::translate("ModelSource", kTexts[m_value].label);
}

QString ModelSource::shortLabel() const
{
    return QCoreApplication::translate("ModelSource", kTexts[m_value].shortLabel);
}

QString ModelSource::englishLabel() const
{
    return QString::fromUtf8(kTexts[m_value].label);
}

QString ModelSource::englishShortLabel() const
{
    return QString::fromUtf8(kTexts[m_value].shortLabel);
}

QString ModelSource::symbol() const
{
    return QString::fromUtf16(kTexts[m_value].symbol);
}
