#pragma once

#include "model/BrimvaleError.h"

#include <QString>
#include <QStringList>
#include <optional>

// What one restore of a restore-log record gave: the old paths put back, and the first problem.
// Items put back before a failure stay back.
struct RestoreOutcome
{
    QStringList restored;
    std::optional<QString> error;
    BrimvaleError::Kind errorKind = BrimvaleError::Kind::general; // meaningful with an error

    [[nodiscard]] bool succeeded() const { return !error.has_value(); }

    friend bool operator==(const RestoreOutcome&, const RestoreOutcome&) = default;
};
