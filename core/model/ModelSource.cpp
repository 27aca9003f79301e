#include "model/ModelSource.h"

namespace {

struct SourceTexts
{
    const char16_t* raw;
    const char16_t* label;
    const char16_t* shortLabel;
    const char16_t* symbol;
};

constexpr std::array<SourceTexts, 8> kTexts{{
    {u"Ollama", u"Ollama", u"Ollama", u"cube.box"},
    {u"LmStudio", u"LM Studio", u"LM Studio", u"cpu"},
    {u"HuggingFace", u"Hugging Face", u"Hugging Face", u"face.smiling"},
    {u"ComfyUi", u"ComfyUI", u"ComfyUI", u"paintpalette"},
    {u"Whisper", u"Whisper", u"Whisper", u"waveform"},
    {u"CodingCache", u"AI Caches", u"AI Cache", u"chevron.left.forwardslash.chevron.right"},
    {u"Loose", u"Loose Files", u"Loose File", u"doc"},
    {u"Custom", u"Custom Folders", u"Custom", u"folder"},
}};

} // namespace

const std::array<ModelSource, 8>& ModelSource::allCases()
{
    static constexpr std::array<ModelSource, 8> cases{ollama,  lmStudio,    huggingFace, comfyUI,
                                                      whisper, codingCache, loose,       custom};
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
