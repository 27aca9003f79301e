#pragma once

#include <QHashFunctions>
#include <QString>
#include <QStringView>
#include <array>
#include <optional>

// Where a catalogue entry came from. The order of the cases is the order in which sources are
// listed everywhere; the raw value is the stored form.
class ModelSource
{
public:
    enum Value : quint8
    {
        ollama,
        lmStudio,
        huggingFace,
        comfyUI,
        whisper,
        codingCache,
        loose,
        custom,
        llamaCpp,
        gpt4All,
        jan,
        dockerModels,
        pyTorchHub,
        sdWebUi,
        invokeAi,
        textGenWebUi,
        modelScope
    };

    static constexpr int count = modelScope + 1;

    constexpr ModelSource(Value value) : m_value(value) {}

    [[nodiscard]] static const std::array<ModelSource, count>& allCases();
    // Exact, case-sensitive match against the raw values.
    [[nodiscard]] static std::optional<ModelSource> fromRawValue(QStringView raw);

    [[nodiscard]] constexpr Value value() const { return m_value; }
    [[nodiscard]] QString rawValue() const;
    [[nodiscard]] QString label() const;
    [[nodiscard]] QString shortLabel() const;
    // The untranslated labels, for files written to disk.
    [[nodiscard]] QString englishLabel() const;
    [[nodiscard]] QString englishShortLabel() const;
    // Icon name of the source, as a symbol name of the original icon set.
    [[nodiscard]] QString symbol() const;
    // The first eight sources, listed in the sidebar even when they hold nothing; the later
    // ones are listed only when they do.
    [[nodiscard]] constexpr bool listedWhenEmpty() const { return m_value <= custom; }
    // A later source gives way: a file an earlier source lists is not listed by it again.
    [[nodiscard]] constexpr bool givesWay() const { return m_value > custom; }

    friend constexpr bool operator==(ModelSource, ModelSource) = default;

private:
    Value m_value;
};

inline size_t qHash(ModelSource source, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(source.value()), seed);
}
