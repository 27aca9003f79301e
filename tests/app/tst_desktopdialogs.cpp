#include "ui/DesktopDialogs.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>

// The desktop's question before an action: its texts, Cancel as the default and Escape button,
// and the answer it gives without blocking the caller.
class DesktopDialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void question_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("confirmed");
        QTest::newRow("Escape") << "escape" << false;
        QTest::newRow("Return presses the default") << "return" << false;
        QTest::newRow("Free Space") << "Free Space" << true;
        QTest::newRow("Cancel") << "Cancel" << false;
    }
    void question()
    {
        QFETCH(QString, answer);
        QFETCH(bool, confirmed);
        QWidget window;
        window.show();
        DesktopDialogs dialogs(&window);
        std::optional<bool> answered;
        dialogs.ask(
            {u"Free 2 GB by sharing identical data?"_qs, u"Both copies stay."_qs, u"Free Space"_qs},
            [&](bool yes) { answered = yes; });
        auto* box = window.findChild<QMessageBox*>();
        QVERIFY(box && !answered);
        QTRY_VERIFY(box->isVisible());
        QCOMPARE(box->windowModality(), Qt::WindowModal);
        QVERIFY(box->text().contains(u"Free 2 GB by sharing identical data?"_qs));
        QCOMPARE(box->informativeText(), u"Both copies stay."_qs);
        QCOMPARE(box->defaultButton()->text(), u"Cancel"_qs);
        QCOMPARE(box->escapeButton(), box->defaultButton());
        if (answer == u"escape")
            QTest::keyClick(box, Qt::Key_Escape);
        else if (answer == u"return")
            QTest::keyClick(box, Qt::Key_Return);
        else
            for (QAbstractButton* button : box->buttons())
                if (button->text() == answer)
                    button->click();
        QTRY_VERIFY(answered);
        QCOMPARE(*answered, confirmed);
    }
};

QTEST_MAIN(DesktopDialogsTest)
#include "tst_desktopdialogs.moc"
