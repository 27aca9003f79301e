#pragma once

#include <QString>
#include <QStringList>
#include <QUuid>

// One notice at the bottom of the window. The id is random for every toast, so two toasts made
// by two calls are never equal.
struct ToastMessage
{
    QUuid id;
    QString text;
    bool isError = false;
    QStringList undoEntryIDs; // restore-log ids the toast's Undo puts back; empty: no Undo

    friend bool operator==(const ToastMessage&, const ToastMessage&) = default;
};
