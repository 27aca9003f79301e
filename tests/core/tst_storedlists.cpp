#include "Fixtures.h"
#include "TestHome.h"
#include "fs/AppPaths.h"
#include "fs/CustomFolders.h"
#include "fs/JSONStore.h"
#include "model/BrimvaleError.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

ino_t inodeOf(const QString& path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
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
    void encoding();
    void firstAddCreatesDataDir();
    void addIsExactAndIdempotent();
    void removeAlwaysWrites();
    void forgivingReads_data();
    void forgivingReads();
    void escapedSlashesRead();
    void unusableFileKeptAside();
    void failedWriteKeepsPreviousFile();
    void dataDirCannotBeCreated();
    void readOnlyDataDir();
    void concurrentAddsFromTwoProcesses();
};

void StoredListsTest::encoding()
{
    TestHome home;
    QJsonObject record{{u"zeta"_qs, 1}, {u"alpha"_qs, u"/a/b"_qs}, {u"mid"_qs, QJsonArray{1, 2}}};
    JSONStore::write(QJsonDocument(QJsonArray{record}), u"log.json"_qs);
    const QByteArray bytes = readAll(JSONStore::pathOf(u"log.json"_qs));
    QVERIFY(bytes.contains("\"\\/a\\/b\""));
    QVERIFY(!bytes.contains("\"/a/b\""));
    QVERIFY(bytes.indexOf("alpha") < bytes.indexOf("mid"));
    QVERIFY(bytes.indexOf("mid") < bytes.indexOf("zeta"));
    QVERIFY(bytes.count('\n') >= 8); // one member or element per line
    const JSONStore::ReadResult read = JSONStore::read(u"log.json"_qs);
    QCOMPARE(int(read.status), int(JSONStore::ReadStatus::ok));
    QCOMPARE(read.document.array().at(0).toObject().value(u"alpha"_qs).toString(), u"/a/b"_qs);
    // No temporary file is left beside the target.
    QCOMPARE(dataDirEntries(), QStringList{u"log.json"_qs});
}

void StoredListsTest::firstAddCreatesDataDir()
{
    TestHome home;
    QVERIFY(CustomFolders::load().isEmpty());
    QVERIFY(!QFileInfo::exists(AppPaths::dataDir()));
    CustomFolders::add(u"/Volumes/Models"_qs);
    QCOMPARE(CustomFolders::load(), QStringList{u"/Volumes/Models"_qs});
    const QJsonDocument stored = QJsonDocument::fromJson(readAll(listFile()));
    QCOMPARE(stored.array(), QJsonArray{u"/Volumes/Models"_qs});
    QVERIFY(dataDirEntries().contains(u"custom_paths.json.lock"_qs));
}

void StoredListsTest::addIsExactAndIdempotent()
{
    TestHome home;
    CustomFolders::add(u"/Volumes/Models"_qs);
    const ino_t before = inodeOf(listFile());
    CustomFolders::add(u"/Volumes/Models"_qs);
    QCOMPARE(inodeOf(listFile()), before); // not rewritten
    CustomFolders::add(u"/Volumes/Models/"_qs);
    CustomFolders::add(u"/volumes/models"_qs);
    QCOMPARE(CustomFolders::load(),
             (QStringList{u"/Volumes/Models"_qs, u"/Volumes/Models/"_qs, u"/volumes/models"_qs}));
}

void StoredListsTest::removeAlwaysWrites()
{
    TestHome home;
    CustomFolders::remove(u"/nothing"_qs);
    QVERIFY(QFileInfo::exists(listFile()));
    QCOMPARE(QJsonDocument::fromJson(readAll(listFile())).array(), QJsonArray());

    CustomFolders::add(u"/a"_qs);
    CustomFolders::add(u"/b"_qs);
    const ino_t before = inodeOf(listFile());
    CustomFolders::remove(u"/zzz"_qs);
    QVERIFY(inodeOf(listFile()) != before); // rewritten although nothing changed
    CustomFolders::remove(u"/a/"_qs);       // exact comparison: nothing removed
    QCOMPARE(CustomFolders::load(), (QStringList{u"/a"_qs, u"/b"_qs}));
    CustomFolders::remove(u"/a"_qs);
    QCOMPARE(CustomFolders::load(), QStringList{u"/b"_qs});
}

void StoredListsTest::forgivingReads_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("object") << QByteArray(R"({"paths": ["/a"]})");
    QTest::newRow("number") << QByteArray("42");
    QTest::newRow("array with a number") << QByteArray(R"(["/a", 3])");
    QTest::newRow("array with null") << QByteArray(R"(["/a", null])");
    QTest::newRow("nested array") << QByteArray(R"([["/a"]])");
    QTest::newRow("truncated") << QByteArray(R"(["/a", "/b)");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe[", 4);
}

void StoredListsTest::forgivingReads()
{
    QFETCH(QByteArray, content);
    TestHome home;
    QVERIFY(Fixtures::writeFile(listFile(), content));
    QVERIFY(CustomFolders::load().isEmpty());
    // The next change starts from an empty list.
    CustomFolders::add(u"/new"_qs);
    QCOMPARE(CustomFolders::load(), QStringList{u"/new"_qs});
}

void StoredListsTest::escapedSlashesRead()
{
    TestHome home;
    QVERIFY(Fixtures::writeFile(listFile(), R"(["\/Users\/me\/Models", "/plain/path"])"));
    QCOMPARE(CustomFolders::load(), (QStringList{u"/Users/me/Models"_qs, u"/plain/path"_qs}));

    // A FIFO or a folder where the file should be reads as empty and never blocks.
    QFile::remove(listFile());
    QVERIFY(::mkfifo(QFile::encodeName(listFile()).constData(), 0644) == 0);
    QVERIFY(CustomFolders::load().isEmpty());
}

void StoredListsTest::unusableFileKeptAside()
{
    TestHome home;
    QVERIFY(Fixtures::writeFile(listFile(), "not json at all"));
    CustomFolders::add(u"/a"_qs);
    QStringList aside = dataDirEntries().filter(u"custom_paths.json.corrupt-"_qs);
    QCOMPARE(aside.size(), 1);
    QCOMPARE(readAll(AppPaths::dataDir() + u'/' + aside[0]), QByteArray("not json at all"));
    QVERIFY(aside[0].mid(QStringLiteral("custom_paths.json.corrupt-").size()).toLongLong() > 0);

    // A second bad file in the same second does not replace the first one kept aside.
    QVERIFY(Fixtures::writeFile(listFile(), R"({"x": 1})"));
    CustomFolders::remove(u"/a"_qs);
    QVERIFY(Fixtures::writeFile(listFile(), R"([1])"));
    CustomFolders::add(u"/b"_qs);
    aside = dataDirEntries().filter(u"custom_paths.json.corrupt-"_qs);
    QCOMPARE(aside.size(), 3);
    QCOMPARE(CustomFolders::load(), QStringList{u"/b"_qs});

    // A good file is replaced without anything kept aside.
    CustomFolders::add(u"/c"_qs);
    QCOMPARE(dataDirEntries().filter(u"corrupt"_qs).size(), 3);
}

void StoredListsTest::failedWriteKeepsPreviousFile()
{
    TestHome home;
    JSONStore::write(QJsonDocument(QJsonArray{u"/old"_qs}), u"store.json"_qs);
    const QByteArray before = readAll(JSONStore::pathOf(u"store.json"_qs));
    // A folder in the way of the final rename: the write fails, nothing else changes.
    QVERIFY(QDir().mkpath(JSONStore::pathOf(u"blocked.json/inside"_qs)));
    QVERIFY_THROWS_EXCEPTION(BrimvaleError,
                             JSONStore::write(QJsonDocument(QJsonArray{}), u"blocked.json"_qs));
    QVERIFY(QFileInfo(JSONStore::pathOf(u"blocked.json"_qs)).isDir());
    QCOMPARE(readAll(JSONStore::pathOf(u"store.json"_qs)), before);
    QCOMPARE(dataDirEntries(), (QStringList{u"store.json"_qs}));
}

void StoredListsTest::dataDirCannotBeCreated()
{
    TestHome home;
    // A regular file where the data directory must be created.
    QVERIFY(Fixtures::writeFile(AppPaths::dataDir(), "in the way"));
    try {
        CustomFolders::add(u"/a"_qs);
        QFAIL("add succeeded without a data directory");
    } catch (const BrimvaleError& error) {
        QCOMPARE(error.message(),
                 u"Cannot create folder "_qs + AppPaths::dataDir() + u": Not a directory"_qs);
    }
    QCOMPARE(readAll(AppPaths::dataDir()), QByteArray("in the way"));
    QVERIFY(CustomFolders::load().isEmpty());

    // A home whose folders do not exist yet is created as needed.
    home.setEnv("HOME", QFile::encodeName(home.file(u"not/yet/there"_qs)));
    CustomFolders::add(u"/a"_qs);
    QCOMPARE(CustomFolders::load(), QStringList{u"/a"_qs});
}

void StoredListsTest::readOnlyDataDir()
{
    TestHome home;
    CustomFolders::add(u"/kept"_qs);
    home.openToEveryone();
    ::chmod(QFile::encodeName(AppPaths::dataDir()).constData(), 0755);
    ::chmod(QFile::encodeName(listFile()).constData(), 0644);
    const bool ok = Fixtures::runUnprivileged([] {
        try {
            CustomFolders::remove(u"/kept"_qs);
            return false;
        } catch (const BrimvaleError& error) {
            return error.message().endsWith(u": Permission denied"_qs) &&
                   CustomFolders::load() == QStringList{u"/kept"_qs};
        }
    });
    QVERIFY(ok);
    QCOMPARE(CustomFolders::load(), QStringList{u"/kept"_qs});
}

void StoredListsTest::concurrentAddsFromTwoProcesses()
{
    TestHome home;
    pid_t children[2];
    for (int child = 0; child < 2; ++child) {
        children[child] = ::fork();
        if (children[child] == 0) {
            try {
                for (int i = 0; i < 100; ++i)
                    CustomFolders::add(u"/p%1/folder%2"_qs.arg(child).arg(i));
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const QStringList stored = CustomFolders::load();
    QCOMPARE(stored.size(), 200);
    QCOMPARE(QSet<QString>(stored.begin(), stored.end()).size(), 200);
}

QTEST_GUILESS_MAIN(StoredListsTest)
#include "tst_storedlists.moc"
