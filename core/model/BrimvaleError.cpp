#include "model/BrimvaleError.h"

#include <cstring>
#include <utility>

BrimvaleError::BrimvaleError(QString message, Kind kind)
    : m_message(std::move(message)), m_utf8(m_message.toUtf8()), m_kind(kind)
{}

BrimvaleError BrimvaleError::fromErrno(int error)
{
    return BrimvaleError(describe(error));
}

QString BrimvaleError::describe(int error)
{
    // strerrordesc_np is thread-safe and never localised.
    const char* text = strerrordesc_np(error);
    if (text == nullptr)
        return QStringLiteral("Unknown error %1").arg(error);
    return QString::fromUtf8(text);
}
