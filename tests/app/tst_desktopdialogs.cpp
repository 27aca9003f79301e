#include "ui/DesktopDialogs.h"

#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

// The desktop's question before an action: its texts, Cancel as the default and Escape button,
// and the answer it gives without blocking the caller; the folder panel with its message shown.
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

    void folderPanelShowsItsMessage_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("several");
        QTest::newRow("move") << u"Choose where to move \"a\". A symlink is left at the original "
                                 u"location so your tools keep working."_s
                              << false;
        QTest::newRow("add folder") << u"Brimvale will look for model files (.gguf, "
                                       u".safetensors, .ckpt, …) inside this folder."_s
                                    << true;
    }
    void folderPanelShowsItsMessage()
    {
        QFETCH(QString, message);
        QFETCH(bool, several);
        QWidget window;
        window.show();
        DesktopDialogs dialogs(&window);
        std::optional<QStringList> chosen;
        dialogs.chooseFolders({u"Choose"_s, message, u"Choose"_s, several, QDir::tempPath()},
                              [&](const QStringList& folders) { chosen = folders; });
        auto* dialog = window.findChild<QFileDialog*>();
        QVERIFY(dialog && !chosen);
        QTRY_VERIFY(dialog->isVisible());
        QLabel* shown = nullptr;
        for (QLabel* label : dialog->findChildren<QLabel*>())
            if (label->text() == message && label->isVisible())
                shown = label;
        QVERIFY(shown);
        QVERIFY(QRect(QPoint(), dialog->size())
                    .contains(QRect(shown->mapTo(dialog, QPoint()), shown->size())));
        dialog->reject();
        QTRY_VERIFY(chosen);
        QVERIFY(chosen->isEmpty());
    }
};

QTEST_MAIN(DesktopDialogsTest)
#include "tst_desktopdialogs.moc"
