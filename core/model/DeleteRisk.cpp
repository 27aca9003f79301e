#include "model/DeleteRisk.h"

#include <array>
#include <cstddef>

namespace {
constexpr std::array<const char16_t*, 3> kRawValues{u"Safe", u"Risky", u"Unknown"};
}

std::optional<DeleteRisk> DeleteRisk::fromRawValue(QStringView raw)
{
    for (std::size_t i = 0; i < kRawValues.size(); ++i) {
        if (raw == QStringView(kRawValues[i]))
            return DeleteRisk(static_cast<Value>(i));
    }
    return std::nullopt;
}

QString DeleteRisk::rawValue() const
{
    return QString::fromUtf16(kRawValues[m_value]);
}
