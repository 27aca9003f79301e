#include "app/AppModel.h"
#include "app/Translations.h"
#include "ui/DesktopDialogs.h"
#include "ui/Icons.h"
#include "ui/MainWindow.h"
#include "ui/QuitSignals.h"
#include "ui/SingleInstance.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPalette>
#include <QStyle>
#include <QTimer>
#include <cstdio>

namespace {

// A dark palette for checking the window on dark desktops (BRIMVALE_PALETTE=dark).
QPalette darkPalette()
{
    QPalette dark;
    const QColor window(0x2b, 0x2b, 0x2e), base(0x1e, 0x1e, 0x20), text(0xe8, 0xe8, 0xea);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, window);
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::Mid, QColor(0x48, 0x48, 0x4c));
    dark.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Link, QColor(0x40, 0x9c, 0xff));
    dark.setColor(QPalette::PlaceholderText, QColor(0x98, 0x98, 0x9d));
    dark.setColor(QPalette::ToolTipBase, base);
    dark.setColor(QPalette::ToolTipText, text);
    return dark;
}

} // namespace

int main(int argc, char* argv[])
{
    QElapsedTimer launched;
    launched.start();
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brimvale"));
    QApplication::setApplicationName(QStringLiteral("Brimvale"));
    QApplication::setApplicationVersion(QStringLiteral(BRIMVALE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("io.brimvale.Brimvale"));
    QApplication::setWindowIcon(Icons::app());
    Translations translations;
    translations.install(Translations::languages(QProcessEnvironment::systemEnvironment()));
    if (qgetenv("BRIMVALE_PALETTE") == "dark") {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(darkPalette());
    }
    // A second start on the same home brings the running window forward instead.
    SingleInstance instance;
    if (instance.activateRunning())
        return 0;
    // Made before the model, so a signal while its work ends after the event loop is handled.
    QuitSignals quitSignals;
    // One model for the program's whole life; every window works on it.
    DesktopDialogs dialogs;
    AppModel model(dialogs);
    MainWindow window(model, dialogs);
    dialogs.setWindow(&window);
    instance.setWindow(&window);
    quitSignals.setWindow(&window);
    window.show();
    // For the screenshots script: BRIMVALE_SCREENSHOT_SIDEBAR=duplicates|unused|trash chooses
    // that sidebar row once the first scan is on screen.
    const QByteArray shotRow = qgetenv("BRIMVALE_SCREENSHOT_SIDEBAR");
    if (shotRow == "duplicates" || shotRow == "unused" || shotRow == "trash")
        QObject::connect(
            &model, &AppModel::scanChanged, &window,
            [&model, shotRow] {
                model.setSidebar(shotRow == "trash"    ? SidebarItem::trash()
                                 : shotRow == "unused" ? SidebarItem::notUsedLately()
                                                       : SidebarItem::duplicates());
            },
            Qt::SingleShotConnection);
    // And BRIMVALE_SCREENSHOT_SETTINGS=1 opens the settings window over it.
    if (qEnvironmentVariableIsSet("BRIMVALE_SCREENSHOT_SETTINGS"))
        QObject::connect(&model, &AppModel::scanChanged, &window, &MainWindow::showSettings,
                         Qt::SingleShotConnection);
    // Start-up timing for the benchmark (BRIMVALE_STARTUP_TIMES=1): when the window is on
    // screen, and when the first scan is published; then quits.
    if (qEnvironmentVariableIsSet("BRIMVALE_STARTUP_TIMES")) {
        QTimer::singleShot(0, &window, [&launched] {
            std::printf("window shown: %lld ms\n", static_cast<long long>(launched.elapsed()));
        });
        QObject::connect(&model, &AppModel::scanChanged, &window, [&launched, &window] {
            std::printf("first scan on screen: %lld ms\n",
                        static_cast<long long>(launched.elapsed()));
            std::fflush(stdout);
            window.close();
        });
    }
    return QApplication::exec();
}
