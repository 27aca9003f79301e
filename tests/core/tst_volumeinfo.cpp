// The drive label and capacity shown for a move's destination and the free-space footer.
#include "TestHome.h"
#include "fs/VolumeInfo.h"

#include <QTest>

class VolumeInfoTest : public QObject
{
    Q_OBJECT

private slots:
    void labelFallsBackToTheLastComponent()
    {
        // A path on no mounted volume has no volume name.
        QCOMPARE(VolumeInfo::label(QStringLiteral("/no/such/drive/Archive/")),
                 QStringLiteral("Archive"));
        TestHome home;
        const QString label = VolumeInfo::label(home.path());
        QVERIFY(!label.isEmpty());
    }

    void capacityOfTheHome()
    {
        TestHome home;
        const std::optional<VolumeInfo::Capacity> capacity = VolumeInfo::capacity(home.path());
        QVERIFY(capacity);
        QVERIFY(capacity->total > 0);
        QVERIFY(capacity->available >= 0 && capacity->available <= capacity->total);
        QCOMPARE(VolumeInfo::capacity(QStringLiteral("/no/such/drive")), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(VolumeInfoTest)
#include "tst_volumeinfo.moc"
