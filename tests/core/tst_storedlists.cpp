#include "Fixtures.h"
#include "TestHome.h"
#include "fs/AppPaths.h"
#include "fs/AppSettings.h"
#include "fs/CustomFolders.h"
#include "fs/JSONStore.h"
#include "model/BrimvaleError.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTest>
#include <sys/stat.h>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

QString listFile()
{
    return AppPaths::dataDir() + u"/custom_paths.json"_qs;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList dataDirEntries()
{
    return QDir(AppPaths::dataDir())
        .entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
}

} // namespace

class StoredListsTest : public QObject
{
    Q_OBJECT

private slots:
    void addAndRemoveIgnoreTrailingSlashes()
    {
        TestHome home;
        QVERIFY(CustomFolders::load().isEmpty() && !QFileInfo::exists(AppPaths::dataDir()));
        CustomFolders::add(u"/x/"_qs); // the first add creates the data directory and its lock
        QCOMPARE(QJsonDocument::fromJson(readAll(listFile())).array(), QJsonArray{u"/x/"_qs});
        QVERIFY(dataDirEntries().contains(u"custom_paths.json.lock"_qs));
        for (const QString& path : {u"/x"_qs, u"/x//"_qs, u"/X"_qs, u"/b"_qs})
            CustomFolders::add(path);
        QCOMPARE(CustomFolders::load(), (QStringList{u"/x/"_qs, u"/X"_qs, u"/b"_qs}));
        QVERIFY(Fixtures::writeFile(listFile(), "[\"/x/\", \"/X\", \"/x//\", \"/b\"]"));
        CustomFolders::remove(u"/x"_qs);
        QCOMPARE(CustomFolders::load(), (QStringList{u"/X"_qs, u"/b"_qs}));
        // Removing what is not stored still writes the list, here a missing one.
        QVERIFY(QFile::remove(listFile()));
        CustomFolders::remove(u"/zzz"_qs);
        QCOMPARE(QJsonDocument::fromJson(readAll(listFile())), QJsonDocument(QJsonArray()));
    }

    void extraFoldersAfterTheStoredOnes()
    {
        QCOMPARE(CustomFolders::withExtra({u"/b"_qs, u"/a//"_qs},
                                          {u"/c"_qs, u"/a"_qs, u"/c/"_qs, u"/A"_qs}),
                 (QStringList{u"/b"_qs, u"/a//"_qs, u"/c"_qs, u"/A"_qs}));
    }

    // The desktop program and the CLI share the setting through this file.
    void includeLooseSetting()
    {
        TestHome home;
        const QString file = home.file(u".config/Brimvale/Brimvale.conf"_qs);
        QVERIFY(!AppSettings::includeLoose());
        AppSettings::setIncludeLoose(true);
        QVERIFY(readAll(file).contains("includeLoose=true"));
        QVERIFY(Fixtures::writeFile(file, "[General]\nincludeLoose=false\n"));
        QVERIFY(!AppSettings::includeLoose());
    }

    void forgivingReads_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("object") << QByteArray(R"({"paths": ["/a"]})");
        QTest::newRow("array with null") << QByteArray(R"(["/a", null])");
        QTest::newRow("truncated") << QByteArray("[\"/a\", \"/b");
        QTest::newRow("FIFO") << QByteArray("fifo"); // reads as empty and never blocks
    }

    void forgivingReads()
    {
        QFETCH(QByteArray, content);
        TestHome home;
        QVERIFY(QDir().mkpath(AppPaths::dataDir()));
        if (content == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(listFile()).constData(), 0644), 0);
        else
            QVERIFY(Fixtures::writeFile(listFile(), content));
        QVERIFY(CustomFolders::load().isEmpty());
        CustomFolders::add(u"/new"_qs); // the next change starts from an empty list
        QCOMPARE(CustomFolders::load(), QStringList{u"/new"_qs});
    }

    void unusableFileKeptAside()
    {
        TestHome home;
        // Bad files in the same second do not replace the first one kept aside; a good one is
        // replaced without anything kept aside.
        for (const QByteArray& bad : {QByteArray("not json"), QByteArray(R"({"x": 1})")}) {
            QVERIFY(Fixtures::writeFile(listFile(), bad));
            CustomFolders::remove(u"/a"_qs);
        }
        CustomFolders::add(u"/b"_qs);
        const QStringList aside = dataDirEntries().filter(u"custom_paths.json.corrupt-"_qs);
        QCOMPARE(aside.size(), 2);
        QCOMPARE(readAll(AppPaths::dataDir() + u'/' + aside[0]), QByteArray("not json"));
        QVERIFY(aside[0].mid(u"custom_paths.json.corrupt-"_s.size()).toLongLong() > 0);
    }

    void failedWrites()
    {
        TestHome home;
        JSONStore::write(QJsonDocument(QJsonArray{u"/old"_qs}), u"store.json"_qs);
        // A folder in the way of the final rename: the write fails, nothing else changes.
        QVERIFY(QDir().mkpath(JSONStore::pathOf(u"blocked.json/inside"_qs)));
        QVERIFY_THROWS_EXCEPTION(BrimvaleError,
                                 JSONStore::write(QJsonDocument(QJsonArray{}), u"blocked.json"_qs));
        QCOMPARE(JSONStore::read(u"store.json"_qs).document.array(), QJsonArray{u"/old"_qs});
        QCOMPARE(dataDirEntries(), (QStringList{u"store.json"_qs}));

        // A regular file where the data directory must be created: add fails, nothing changes.
        QVERIFY(QDir(AppPaths::dataDir()).removeRecursively());
        QVERIFY(Fixtures::writeFile(AppPaths::dataDir(), "in the way"));
        QVERIFY_THROWS_EXCEPTION(BrimvaleError, CustomFolders::add(u"/a"_qs));
        QCOMPARE(readAll(AppPaths::dataDir()), QByteArray("in the way"));
        // A home whose folders do not exist yet is created as needed.
        home.setEnv("HOME", QFile::encodeName(home.file(u"not/yet/there"_qs)));
        CustomFolders::add(u"/a"_qs);
        QCOMPARE(CustomFolders::load(), QStringList{u"/a"_qs});
    }

    // The file lock keeps two writers from losing each other's changes.
    void concurrentAdds()
    {
        TestHome home;
        const auto addMany = [](int writer) {
            for (int i = 0; i < 100; ++i)
                CustomFolders::add(u"/p%1/folder%2"_qs.arg(writer).arg(i));
        };
        std::thread other(addMany, 1);
        addMany(0);
        other.join();
        QCOMPARE(CustomFolders::load().size(), 200);
    }

    void expandedPaths_data()
    {
        QTest::addColumn<QString>("value"); // "@" stands for the home
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << u"/a/b"_qs << u"/a/b"_qs;
        QTest::newRow("tilde alone") << u"~"_qs << u"@"_qs;
        QTest::newRow("tilde first") << u"~/x"_qs << u"@/x"_qs;
        QTest::newRow("tilde of a user, or later: as written")
            << u"~bob/x:~/y"_qs << u"~bob/x:~/y"_qs;
        QTest::newRow("a variable") << u"$HOME/x"_qs << u"@/x"_qs;
        QTest::newRow("a braced variable") << u"${HOME}x/${BRIMVALE_T1}"_qs << u"@x/one"_qs;
        QTest::newRow("name ends at a non-word character") << u"/$BRIMVALE_T1.d"_qs << u"/one.d"_qs;
        QTest::newRow("unset: as written")
            << u"$BRIMVALE_UNSET/${BRIMVALE_UNSET}"_qs << u"$BRIMVALE_UNSET/${BRIMVALE_UNSET}"_qs;
        QTest::newRow("set but empty") << u"/a$BRIMVALE_EMPTY/b"_qs << u"/a/b"_qs;
        QTest::newRow("lone or unclosed dollar") << u"/a$/b${HOME"_qs << u"/a$/b${HOME"_qs;
        QTest::newRow("values are not expanded again") << u"$BRIMVALE_T2"_qs << u"$HOME"_qs;
    }

    // Paths in variables of Python tools: `~` first, then `$NAME` and `${NAME}`, unset ones kept.
    void expandedPaths()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        TestHome home;
        qputenv("BRIMVALE_T1", "one");
        qputenv("BRIMVALE_T2", "$HOME");
        qputenv("BRIMVALE_EMPTY", "");
        qunsetenv("BRIMVALE_UNSET");
        qputenv("BRIMVALE_VALUE", QFile::encodeName(value));
        expected.replace(u'@', AppPaths::home());
        QCOMPARE(AppPaths::expandPath(value), expected);
        QCOMPARE(AppPaths::expandedFromEnvironment("BRIMVALE_VALUE"), expected);
    }
};

QTEST_GUILESS_MAIN(StoredListsTest)
#include "tst_storedlists.moc"
