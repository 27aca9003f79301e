#pragma once

#include "model/ModelEntry.h"

#include <QList>
#include <QStringList>

// What one source scanner returns: its entries and one message per problem met.
struct SourceScan
{
    QList<ModelEntry> models;
    QStringList errors;
};
