#pragma once

#include "model/StopToken.h"
#include "scanners/ScanProgress.h"

#include <QStringList>

// What a full scan is asked to do, where it reports its progress and what may stop it.
struct ScanRequest
{
    bool includeLoose = false; // also look for loose model files in Downloads, Documents, Desktop
    QStringList folders;       // the user's custom folders, as stored
    const StopToken* stop = nullptr;
    ScanProgress* progress = nullptr;
};
