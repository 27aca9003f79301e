#pragma once

#include "model/BrimvaleError.h"
#include "services/DedupedFile.h"
#include "services/FreedSpace.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The result of one dedupe run: every file asked for, in order, and the filesystems touched.
struct DedupeOutcome
{
    QList<DedupedFile> files;
    QList<FreedSpace> filesystems;
    QStringList notes; // leftovers of an interrupted run kept where they are, each with why
    std::optional<QString> error; // the first problem met, for the user
    BrimvaleError::Kind errorKind = BrimvaleError::Kind::general;

    // Sum of bytesShared of the files freed.
    [[nodiscard]] qint64 bytesShared() const;
    // Every file freed and no error.
    [[nodiscard]] bool succeeded() const;

    friend bool operator==(const DedupeOutcome&, const DedupeOutcome&) = default;
};
