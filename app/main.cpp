#include "app/AppModel.h"
#include "views/DesktopDialogs.h"
#include "views/Icons.h"
#include "views/MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brimvale"));
    QApplication::setApplicationName(QStringLiteral("Brimvale"));
    QApplication::setApplicationVersion(QStringLiteral(BRIMVALE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("brimvale"));
    QApplication::setWindowIcon(Icons::app());
    // One model for the program's whole life; every window works on it.
    DesktopDialogs dialogs;
    AppModel model(std::make_shared<CoreCalls>(), dialogs);
    MainWindow window(model, dialogs);
    dialogs.setWindow(&window);
    window.show();
    return QApplication::exec();
}
