#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// How dangerous it is to delete an entry; entries marked risky are held back for a confirmation.
class DeleteRisk
{
public:
    enum Value : quint8
    {
        safe,
        risky,
        unknown
    };

    constexpr DeleteRisk(Value value) : m_value(value) {}

    // Exact, case-sensitive match against "Safe", "Risky" and "Unknown".
    [[nodiscard]] static std::optional<DeleteRisk> fromRawValue(QStringView raw);

    [[nodiscard]] constexpr Value value() const { return m_value; }
    [[nodiscard]] QString rawValue() const;

    friend constexpr bool operator==(DeleteRisk, DeleteRisk) = default;

private:
    Value m_value;
};
