#include "model/Quantization.h"

#include <array>

std::optional<QString> parseQuantization(QStringView name)
{
    static constexpr std::array<const char16_t*, 10> kTokens{
        u"Q4_K_S", u"Q4_K_M", u"Q5_K_S", u"Q5_K_M", u"Q6_K",
        u"Q8_0",   u"Q4_0",   u"Q2_K",   u"Q3_K_S", u"Q3_K_M"};
    const QString upper = name.toString().toUpper();
    for (const char16_t* token : kTokens) {
        if (upper.contains(QStringView(token)))
            return QString::fromUtf16(token);
    }
    if (upper.contains(u"BF16"))
        return QStringLiteral("bf16");
    if (upper.contains(u"FP16"))
        return QStringLiteral("fp16");
    if (upper.contains(u"F32") || upper.contains(u"FP32"))
        return QStringLiteral("f32");
    return std::nullopt;
}
