// Linked into every test of the desktop app: installs the English plural forms when the
// application object is made, as the app does, so "%n item(s)" reads "1 item" in the tests too.
#include "app/Translations.h"

#include <QCoreApplication>

namespace {

void installEnglish()
{
    static Translations translations;
    translations.install({});
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installEnglish)
