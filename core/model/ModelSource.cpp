#include "model/ModelSource.h"

#include <utility>

namespace {

struct SourceTexts
{
    const char16_t* raw;
    const char16_t* label;
    const char16_t* shortLabel;
    const char16_t* symbol;
};

constexpr std::array<SourceTexts, ModelSource::count> kTexts{{
    {u"Ollama", u"Ollama", u"Ollama", u"cube.box"},
    {u"LmStudio", u"LM Studio", u"LM Studio", u"cpu"},
    {u"HuggingFace", u"Hugging Face", u"Hugging Face", u"face.smiling"},
    {u"ComfyUi", u"ComfyUI", u"ComfyUI", u"paintpalette"},
    {u"Whisper", u"Whisper", u"Whisper", u"waveform"},
    {u"CodingCache", u"AI Caches", u"AI Cache", u"chevron.left.forwardslash.chevron.right"},
    {u"Loose", u"Loose Files", u"Loose File", u"doc"},
    {u"Custom", u"Custom Folders", u"Custom", u"folder"},
    {u"LlamaCpp", u"llama.cpp", u"llama.cpp", u"terminal"},
    {u"Gpt4All", u"GPT4All", u"GPT4All", u"bubble.left"},
    {u"Jan", u"Jan", u"Jan", u"hand.wave"},
    {u"DockerModels", u"Docker Model Runner", u"Docker", u"shippingbox"},
    {u"PyTorchHub", u"PyTorch Hub", u"PyTorch Hub", u"flame"},
    {u"SdWebUi", u"Stable Diffusion WebUI", u"SD WebUI", u"photo"},
    {u"InvokeAi", u"InvokeAI", u"InvokeAI", u"wand.and.stars"},
    {u"TextGenWebUi", u"text-generation-webui", u"TextGen WebUI", u"text.bubble"},
    {u"ModelScope", u"ModelScope", u"ModelScope", u"scope"},
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
    return QString::fromUtf16(kTexts[m_value].label);
}

QString ModelSource::shortLabel() const
{
    return QString::fromUtf16(kTexts[m_value].shortLabel);
}

QString ModelSource::symbol() const
{
    return QString::fromUtf16(kTexts[m_value].symbol);
}
