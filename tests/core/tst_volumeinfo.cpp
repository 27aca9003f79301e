// The drive label and capacity shown for a move's destination and the free-space footer.
#include "TestHome.h"
#include "fs/VolumeInfo.h"

#include <QTest>

class VolumeInfoTest : public QObject
{
    Q_OBJECT

private slots:
    // A path on no mounted volume has no volume name and no capacity.
    void labelAndCapacity()
    {
        QCOMPARE(VolumeInfo::label(u"/no/such/drive/Archive/"_qs), u"Archive"_qs);
        QCOMPARE(VolumeInfo::capacity(u"/no/such/drive"_qs), std::nullopt);
        TestHome home;
        QVERIFY(!VolumeInfo::label(home.path()).isEmpty());
        const std::optional<VolumeInfo::Capacity> capacity = VolumeInfo::capacity(home.path());
        QVERIFY(capacity && capacity->total > 0);
        QVERIFY(capacity->available >= 0 && capacity->available <= capacity->total);
    }
};

QTEST_GUILESS_MAIN(VolumeInfoTest)
#include "tst_volumeinfo.moc"
