#include "app/Translations.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void languageChoice_data()
    {
        QTest::addColumn<QStringList>("variables");
        QTest::addColumn<QStringList>("languages");
        QTest::newRow("nothing set") << QStringList{} << QStringList{};
        QTest::newRow("LANG") << QStringList{u"LANG=de_DE.UTF-8"_qs} << QStringList{u"de_DE"_qs};
        QTest::newRow("LC_MESSAGES over LANG")
            << QStringList{u"LANG=fr_FR.UTF-8"_qs, u"LC_MESSAGES=de_AT@euro"_qs}
            << QStringList{u"de_AT"_qs};
        QTest::newRow("LC_ALL over LC_MESSAGES")
            << QStringList{u"LC_MESSAGES=de_DE"_qs, u"LC_ALL=fr_FR.UTF-8"_qs}
            << QStringList{u"fr_FR"_qs};
        QTest::newRow("LANGUAGE first")
            << QStringList{u"LANG=fr_FR.UTF-8"_qs, u"LANGUAGE=de:en_GB"_qs}
            << QStringList{u"de"_qs, u"en_GB"_qs, u"fr_FR"_qs};
        QTest::newRow("C is English, LANGUAGE unread")
            << QStringList{u"LC_ALL=C.UTF-8"_qs, u"LANG=de_DE"_qs, u"LANGUAGE=de"_qs}
            << QStringList{};
        QTest::newRow("POSIX") << QStringList{u"LANG=POSIX"_qs} << QStringList{};
    }
    void languageChoice()
    {
        QFETCH(QStringList, variables);
        QFETCH(QStringList, languages);
        QProcessEnvironment environment;
        for (const QString& variable : variables)
            environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
        QCOMPARE(Translations::languages(environment), languages);
    }

    void loaded_data()
    {
        QTest::addColumn<QStringList>("languages");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("text");
        QTest::newRow("English one") << QStringList{} << 1 << u"1 item · %1"_qs;
        QTest::newRow("English two") << QStringList{} << 2 << u"2 items · %1"_qs;
        QTest::newRow("no such language") << QStringList{u"xx"_qs} << 1 << u"1 item · %1"_qs;
        QTest::newRow("German one") << QStringList{u"de_DE"_qs} << 1 << u"1 Eintrag · %1"_qs;
        QTest::newRow("German two") << QStringList{u"de_DE"_qs} << 2 << u"2 Einträge · %1"_qs;
    }
    void loaded()
    {
        QFETCH(QStringList, languages);
        QFETCH(int, count);
        QFETCH(QString, text);
        Translations translations;
        translations.install(languages);
        QCOMPARE(QCoreApplication::translate("TrashView", "%n items · %1", nullptr, count), text);
    }

    // Every text of the sources has a finished German translation: lupdate, run over the
    // sources into a copy of the German .ts, leaves nothing unfinished.
    void germanComplete()
    {
        QTemporaryDir dir;
        const QString copy = dir.filePath(u"brimvale_de.ts"_qs);
        const QString source = QStringLiteral(BRIMVALE_SOURCE_DIR);
        QVERIFY(QFile::copy(source + u"/translations/brimvale_de.ts"_qs, copy));
        QProcess lupdate;
        lupdate.start(QStringLiteral(BRIMVALE_LUPDATE),
                      {u"-silent"_qs, u"-no-obsolete"_qs, u"-locations"_qs, u"none"_qs,
                       source + u"/app"_qs, source + u"/ui"_qs, source + u"/core/model"_qs,
                       source + u"/core/text"_qs, u"-ts"_qs, copy});
        QVERIFY(lupdate.waitForFinished(120'000));
        QCOMPARE(lupdate.exitCode(), 0);
        QFile file(copy);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString ts = QString::fromUtf8(file.readAll());
        QVERIFY(ts.count(u"<message"_qs) > 100);
        QCOMPARE(ts.count(u"type=\"unfinished\""_qs), 0);
    }
};

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
