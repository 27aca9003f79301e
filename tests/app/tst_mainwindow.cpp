#include "TestHome.h"
#include "views/MainWindow.h"

#include <QApplication>
#include <QTest>

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void titled();
};

void MainWindowTest::titled()
{
    TestHome home;
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), u"Brimvale"_qs);
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
