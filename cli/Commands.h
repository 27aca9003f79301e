#pragma once

#include <QStringList>

// One function per brimvale-cli command; each takes the arguments after the command name and
// returns the exit status.
namespace Commands {

int scan(const QStringList& arguments);
int report(const QStringList& arguments);
int folders(const QStringList& arguments);
int trash(const QStringList& arguments);
int trashed(const QStringList& arguments);
int restore(const QStringList& arguments);
int deleteEntries(const QStringList& arguments);
int move(const QStringList& arguments);
int moveBack(const QStringList& arguments);
int dedupe(const QStringList& arguments);

} // namespace Commands
