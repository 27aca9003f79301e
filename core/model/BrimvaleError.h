#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// The one error type the core throws. Its message is shown to the user exactly as it is; its
// kind lets callers branch without comparing message texts.
class BrimvaleError : public std::exception
{
public:
    enum class Kind
    {
        general,     // anything else, including the system's own errors
        notFound,    // no restore-log record with the given id
        occupied,    // something already exists where an item would go
        notInTrash,  // an item outside a Trash's files/ folder was refused
        unreachable, // the item's drive is not connected
        nothingLeft, // the record's items are no longer in the Trash
        invalidPath, // a path that cannot name a file (it holds NUL, or is not absolute)
        busy,        // another Brimvale holds the lock and the wait ran out
        stopped      // the caller asked the work to stop
    };

    explicit BrimvaleError(QString message, Kind kind = Kind::general);

    // An error whose message is the English description of a system error number.
    [[nodiscard]] static BrimvaleError fromErrno(int error);
    // The English description of a system error number ("Permission denied").
    [[nodiscard]] static QString describe(int error);

    [[nodiscard]] const QString& message() const noexcept { return m_message; }
    [[nodiscard]] Kind kind() const noexcept { return m_kind; }
    [[nodiscard]] const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
    Kind m_kind = Kind::general;
};
