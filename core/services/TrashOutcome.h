#pragma once

#include "model/BrimvaleError.h"
#include "model/TrashEntry.h"

#include <QString>
#include <optional>

// What one move of a model to the Trash gave: the log record when at least one item reached the
// Trash, and the first problem met. Both can be present.
struct TrashOutcome
{
    std::optional<TrashEntry> entry;
    std::optional<QString> error;
    // What kind of problem `error` is: busy when another Brimvale held the restore log (nothing
    // was moved), nothingLeft when no path existed, invalidPath for a path holding NUL.
    BrimvaleError::Kind errorKind = BrimvaleError::Kind::general;

    [[nodiscard]] bool succeeded() const { return entry.has_value() && !error.has_value(); }

    friend bool operator==(const TrashOutcome&, const TrashOutcome&) = default;
};
