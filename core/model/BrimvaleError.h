#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// The one error type the core throws. Its message is shown to the user exactly as it is.
class BrimvaleError : public std::exception
{
public:
    explicit BrimvaleError(QString message);

    // An error whose message is the English description of a system error number.
    [[nodiscard]] static BrimvaleError fromErrno(int error);
    // The English description of a system error number ("Permission denied").
    [[nodiscard]] static QString describe(int error);

    [[nodiscard]] const QString& message() const noexcept { return m_message; }
    [[nodiscard]] const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};
