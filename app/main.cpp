#include "views/MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brimvale"));
    QApplication::setApplicationName(QStringLiteral("Brimvale"));
    QApplication::setApplicationVersion(QStringLiteral(BRIMVALE_VERSION));
    MainWindow window;
    window.show();
    return QApplication::exec();
}
