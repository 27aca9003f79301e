#include "fs/AppSettings.h"

#include <QSettings>

namespace {

const QString kIncludeLoose = QStringLiteral("includeLoose");

QSettings settings()
{
    return QSettings(QStringLiteral("Brimvale"), QStringLiteral("Brimvale"));
}

} // namespace

namespace AppSettings {

bool includeLoose()
{
    return settings().value(kIncludeLoose, false).toBool();
}

void setIncludeLoose(bool include)
{
    QSettings stored = settings();
    stored.setValue(kIncludeLoose, include);
    stored.sync();
}

} // namespace AppSettings
