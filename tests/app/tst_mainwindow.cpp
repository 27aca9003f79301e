#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "app/AppModel.h"
#include "app/CoreCalls.h"
#include "ui/Banner.h"
#include "ui/Banners.h"
#include "ui/DiskFreeFooter.h"
#include "ui/MainWindow.h"
#include "ui/ModelTable.h"
#include "ui/ModelsView.h"
#include "ui/Palette.h"
#include "ui/SettingsWindow.h"
#include "ui/SidebarView.h"
#include "ui/SourceStyle.h"
#include "ui/StatusBar.h"
#include "ui/ToastView.h"
#include "ui/TrashTable.h"
#include "ui/TrashTableModel.h"
#include "ui/TrashView.h"

#include <QAccessible>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {

class FakeCore : public CoreCalls
{
public:
    std::optional<ScanResult> canned;
    std::optional<UpdateInfo> update;
    QSemaphore gate;
    std::atomic<bool> holdScans{false};
    bool risky = false;

    std::optional<ScanResult> scan(bool, const QStringList&, const StopToken*,
                                   ScanProgress*) override
    {
        if (holdScans)
            gate.acquire();
        return canned ? canned : ScanResult{};
    }
    std::optional<UpdateInfo> checkForUpdate() override { return update; }
    bool ollamaRunning() override { return false; }
    bool heldBack(const QList<ModelEntry>&) const override { return risky; }
    // Runs until stopped (longer than the tests wait).
    MoveResult move(const QList<ModelEntry>&, const QString&, const StopToken* stop,
                    const CopyProgress&) override
    {
        for (int i = 0; i < 120000 && !StopToken::requested(stop); ++i)
            QThread::msleep(1);
        return {{}, {}, QStringLiteral("Stopped")};
    }
};

class FakeDialogs : public Dialogs
{
public:
    QStringList folders;
    void chooseFolders(const FolderPanel&, std::function<void(const QStringList&)> chosen) override
    {
        chosen(folders);
    }
    void chooseSaveFile(const SavePanel&,
                        std::function<void(const std::optional<QString>&)> chosen) override
    {
        chosen(std::nullopt);
    }
    void reveal(const QStringList&) override {}
    void ask(const Question&, std::function<void(bool)>) override {}
    void openUrl(const QUrl&) override {}
};

bool wait(const QFuture<void>& future)
{
    return QTest::qWaitFor([&] { return future.isFinished(); }, 60000);
}

QStringList rowTitles(const QListWidget* list)
{
    QStringList titles;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->flags().testFlag(Qt::ItemIsSelectable))
            titles << list->item(i)->text();
    return titles;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;
    std::shared_ptr<FakeCore> m_core;
    FakeDialogs m_dialogs;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<MainWindow> m_window;

    SidebarView* sidebar() const { return m_window->sidebar(); }
    QString trailing(const SidebarItem& item) const
    {
        return sidebar()->row(item)->data(SidebarView::trailingRole).toString();
    }
    // A real file in the test home, in a scan the model publishes.
    ModelEntry publish(bool duplicate = false, bool ollamaRunning = false)
    {
        const QString path = m_home->file(QStringLiteral("models/a.gguf"));
        Fixtures::writeFile(path, "x");
        ModelEntry model = TrashFixtures::model(QStringLiteral("a"), {path}, 1000);
        model.isDuplicate = duplicate;
        ScanResult scan;
        scan.models = {model};
        scan.ollamaRunning = ollamaRunning;
        m_core->canned = scan;
        [&] { QVERIFY(wait(m_model->rescan())); }();
        return model;
    }

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_core = std::make_shared<FakeCore>();
        m_model = std::make_unique<AppModel>(m_core, m_dialogs);
        m_window = std::make_unique<MainWindow>(*m_model, m_dialogs);
    }
    void cleanup()
    {
        m_core->gate.release(10);
        m_window.reset();
        m_model.reset();
        m_home.reset();
    }

    void beforeAnyScan()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Brimvale"));
        QCOMPARE(trailing(SidebarItem::all()), QString());
        QCOMPARE(trailing(SidebarItem::ofSource(ModelSource::ollama)), QString());
        QVERIFY(!sidebar()->row(SidebarItem::duplicates()));
        QVERIFY(m_window->banners()->ollamaBanner()->isHidden());
        QVERIFY(!m_window->command(QStringLiteral("Export Report…"))->isEnabled());
    }

    void duplicatesRowFollowsScan()
    {
        publish();
        QVERIFY(!sidebar()->row(SidebarItem::duplicates()));
        QCOMPARE(trailing(SidebarItem::all()), QStringLiteral("1 KB"));
        publish(true);
        QVERIFY(sidebar()->row(SidebarItem::duplicates()));
        QVERIFY(m_window->command(QStringLiteral("Export Report…"))->isEnabled());
    }

    void focusOnAddFolderKeepsTheView()
    {
        publish(true);
        m_model->setSidebar(SidebarItem::duplicates());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        for (QPushButton* button : sidebar()->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("Add Folder…"))
                button->setFocus(Qt::TabFocusReason);
        QVERIFY(qobject_cast<QPushButton*>(QApplication::focusWidget()));
        QCOMPARE(m_model->sidebar(), SidebarItem::duplicates());
        QCOMPARE(sidebar()->list()->currentItem(), sidebar()->row(SidebarItem::duplicates()));
    }

    void looseRowAfterCodingCaches()
    {
        QVERIFY(!rowTitles(sidebar()->list()).contains(QStringLiteral("Loose Files")));
        m_model->setIncludeLoose(true);
        const QStringList titles = rowTitles(sidebar()->list());
        QCOMPARE(titles.indexOf(QStringLiteral("Loose Files")),
                 titles.indexOf(QStringLiteral("AI Caches")) + 1);
    }

    // A later source has a row only while it holds something, in source order, each with its
    // own colour and a drawn icon.
    void laterSourceRowsWhenHoldingSomething()
    {
        const QStringList before = rowTitles(sidebar()->list());
        ScanResult scan;
        for (const ModelSource source : {ModelSource::modelScope, ModelSource::jan}) {
            ModelEntry model = TrashFixtures::model(source.rawValue(), {source.rawValue()}, 1000);
            model.source = source;
            scan.models.push_back(model);
        }
        m_core->canned = scan;
        QVERIFY(wait(m_model->rescan()));
        QStringList expected = before;
        const QString last = before.contains(QStringLiteral("Loose Files"))
                                 ? QStringLiteral("Loose Files")
                                 : QStringLiteral("AI Caches");
        expected.insert(before.indexOf(last) + 1, QStringLiteral("Jan"));
        expected.insert(expected.indexOf(QStringLiteral("Jan")) + 1, QStringLiteral("ModelScope"));
        QCOMPARE(rowTitles(sidebar()->list()), expected);
        QSet<QRgb> colours;
        for (const ModelSource source : ModelSource::allCases()) {
            colours.insert(SourceStyle::color(source).rgb());
            QVERIFY2(QFile::exists(u":/icons/"_qs + SourceStyle::iconName(source) + u".svg"_qs),
                     qPrintable(source.rawValue()));
        }
        QCOMPARE(colours.size(), ModelSource::count);
    }

    void folderRowAndRemoval()
    {
        const QString stored = m_home->file(QStringLiteral("Models/Checkpoints/"));
        QDir().mkpath(stored);
        m_dialogs.folders = {stored};
        QVERIFY(wait(m_model->addFolder()));
        QListWidgetItem* row = sidebar()->row(SidebarItem::ofFolder(stored));
        QVERIFY(row);
        QCOMPARE(row->text(), QStringLiteral("Checkpoints"));
        QCOMPARE(row->toolTip(), stored);
        sidebar()->list()->setCurrentItem(row);
        QCOMPARE(m_model->sidebar(), SidebarItem::ofFolder(stored));
        QVERIFY(wait(m_model->removeFolder(stored)));
        QCOMPARE(m_model->sidebar(), SidebarItem::all());
        QCOMPARE(sidebar()->list()->currentItem(), sidebar()->row(SidebarItem::all()));
    }

    void trashRowIconAndBadge()
    {
        const auto icon = [this] {
            return sidebar()->row(SidebarItem::trash())->data(SidebarView::iconNameRole);
        };
        QCOMPARE(icon(), QStringLiteral("user-trash"));
        QCOMPARE(trailing(SidebarItem::trash()), QString());
        QVERIFY(wait(m_model->trash({publish()})));
        QCOMPARE(icon(), QStringLiteral("user-trash-full"));
        QCOMPARE(trailing(SidebarItem::trash()), QStringLiteral("1"));
    }

    void footerRedBelowOneTenth_data()
    {
        QTest::addColumn<qint64>("free");
        QTest::addColumn<bool>("low");
        QTest::newRow("9.9 %") << qint64(99) << true;
        QTest::newRow("10 %") << qint64(100) << false;
    }
    void footerRedBelowOneTenth()
    {
        QFETCH(qint64, free);
        QFETCH(bool, low);
        DiskFreeFooter* footer = m_window->footer();
        footer->showCapacity(DiskCapacity{free * 1'000'000'000, 1'000'000'000'000});
        QCOMPARE(footer->isLow(), low);
        const QColor bar = footer->findChild<QProgressBar*>()->palette().color(QPalette::Highlight);
        QCOMPARE(bar == Palette::red, low);
        QCOMPARE(footer->accessibleDescription(), footer->text());
    }

    void ollamaBannerHiddenOnTrashOnly()
    {
        publish(false, true);
        Banner* banner = m_window->banners()->ollamaBanner();
        QVERIFY(!banner->isHidden());
        m_model->setSidebar(SidebarItem::trash());
        QVERIFY(banner->isHidden());
        m_model->setSidebar(std::nullopt);
        QVERIFY(!banner->isHidden());
    }

    void updateWithoutNotes()
    {
        m_core->update = UpdateInfo{QStringLiteral("9.0"), std::nullopt, std::nullopt};
        QVERIFY(wait(m_model->start()));
        QTRY_VERIFY(m_model->update());
        Banner* banner = m_window->banners()->updateBanner();
        QVERIFY(!banner->isHidden());
        QCOMPARE(banner->text(), QStringLiteral("Brimvale 9.0 is available."));
        QCOMPARE(banner->accessibleDescription(), banner->text());
    }

    // A trash begins busy at once, so a quiet model after the answer shows none began.
    void escapeOnRiskyAlertTrashesNothing()
    {
        QVERIFY(wait(m_model->start()));
        m_window->show();
        const ModelEntry model = publish();
        m_core->risky = true;
        QVERIFY(wait(m_model->requestTrash({model})));
        QTRY_VERIFY(m_window->riskyAlert());
        QSignalSpy busy(m_model.get(), &AppModel::busyMessageChanged);
        QTest::keyClick(m_window->riskyAlert(), Qt::Key_Escape);
        QTRY_VERIFY(!m_window->riskyAlert());
        QVERIFY(!m_model->pendingRiskyTrash());
        QCOMPARE(busy.count(), 0);
        QVERIFY(QFile::exists(model.primaryPath));
    }

    // The sidebar offers Not Used Lately, after Duplicates, only while some entry qualifies.
    void notUsedLatelyRowFollowsScan()
    {
        ModelEntry model = publish(true);
        QVERIFY(!sidebar()->row(SidebarItem::notUsedLately()));
        model.lastUsed = QDateTime::currentDateTimeUtc().addDays(-120);
        ScanResult scan;
        scan.models = {model};
        m_core->canned = scan;
        QVERIFY(wait(m_model->rescan()));
        QVERIFY(sidebar()->row(SidebarItem::notUsedLately()));
        const QStringList titles = rowTitles(sidebar()->list());
        QCOMPARE(titles.indexOf(u"Not Used Lately"_qs), titles.indexOf(u"Duplicates"_qs) + 1);
    }

    void trashAlertTexts_data()
    {
        // Entries "name:holder", an Ollama tag's name starting with "ollama".
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        const QString ollama = u"Ollama is running"_qs;
        const QString llama = u"llama-server has it open. Moving it to the Trash now may make "
                              u"llama-server fail."_qs;
        QTest::newRow("one in use")
            << QStringList{u"a:llama-server"_qs} << u"a is in use"_qs << llama;
        QTest::newRow("two of three in use, the first named")
            << QStringList{u"b:"_qs, u"a:llama-server"_qs, u"c:python3"_qs}
            << u"a and 1 more are in use"_qs << llama;
        QTest::newRow("an Ollama tag keeps its alert")
            << QStringList{u"ollama-x:Ollama"_qs} << ollama << TrashAlert::ollamaRunning().message;
    }
    void trashAlertTexts()
    {
        QFETCH(QStringList, entries);
        QList<ModelEntry> models;
        for (const QString& text : entries) {
            ModelEntry model;
            model.name = text.section(u':', 0, 0);
            if (model.name.startsWith(u"ollama"_qs))
                model.kind = ModelEntry::Kind::ollamaTag;
            if (const QString holder = text.section(u':', 1); !holder.isEmpty())
                model.inUseBy = holder;
            models << model;
        }
        const TrashAlert alert = TrashAlert::of(models);
        QFETCH(QString, title);
        QFETCH(QString, message);
        QCOMPARE(alert.title, title);
        QCOMPARE(alert.message, message);
    }

    // The window asks with the in-use text; Cancel is the default.
    void inUseAlertNamesTheProgram()
    {
        m_window->show();
        ModelEntry model = publish();
        model.inUseBy = u"llama-server"_qs;
        m_core->risky = true;
        QVERIFY(wait(m_model->requestTrash({model})));
        QTRY_VERIFY(m_window->riskyAlert());
        QCOMPARE(m_window->riskyAlert()->windowTitle(), model.name + u" is in use"_qs);
        QVERIFY(m_window->riskyAlert()->text().startsWith(u"llama-server has it open."_qs));
        QCOMPARE(m_window->riskyAlert()->defaultButton()->text(), u"Cancel"_qs);
        QTest::keyClick(m_window->riskyAlert(), Qt::Key_Escape);
        QTRY_VERIFY(!m_window->riskyAlert());
        QVERIFY(QFile::exists(model.primaryPath));
    }

    void scanCommandDisabledWhileScanning()
    {
        QAction* scan = m_window->command(QStringLiteral("Scan for Models"));
        m_core->holdScans = true;
        const QFuture<void> running = m_model->rescan();
        QVERIFY(!scan->isEnabled());
        m_core->gate.release();
        QVERIFY(wait(running));
        QVERIFY(scan->isEnabled());
    }

    void shortcutsAreUnique()
    {
        QList<QKeySequence> keys;
        for (const QAction* action : m_window->findChildren<QAction*>())
            keys << action->shortcuts();
        for (const QShortcut* shortcut : m_window->findChildren<QShortcut*>())
            keys << shortcut->key();
        QCOMPARE(QSet<QKeySequence>(keys.cbegin(), keys.cend()).size(), keys.size());
        QVERIFY(keys.contains(QKeySequence(Qt::CTRL | Qt::Key_R)));
    }

    void keysReachTheShownView()
    {
        publish();
        QVERIFY(wait(m_model->start()));
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keyClick(m_window.get(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), &m_window->modelsView()->searchField());
        ModelTable& models = m_window->modelsView()->table();
        models.selectAll();
        sidebar()->list()->setFocus();
        QSignalSpy busy(m_model.get(), &AppModel::busyMessageChanged);
        QTest::keyClick(sidebar()->list(), Qt::Key_Delete);
        QCOMPARE(busy.count(), 0); // a trash would have begun busy within the key press
        models.setFocus();
        QTest::keyClick(&models, Qt::Key_Delete);
        QTRY_COMPARE(m_model->trashEntries().size(), 1);
        m_model->setSidebar(SidebarItem::trash());
        TrashTable& trashed = m_window->trashView()->table();
        QTRY_COMPARE(trashed.tableModel().rows().size(), 1);
        trashed.setFocus();
        trashed.selectAll();
        QTest::keyClick(&trashed, Qt::Key_Delete);
        QTRY_VERIFY(m_window->trashView()->findChild<QMessageBox*>());
    }

    void statusShowsScanAndStopsMove()
    {
        const QList<StatusBar*> bars = {&m_window->modelsView()->statusBar(),
                                        &m_window->trashView()->statusBar()};
        m_core->holdScans = true;
        const QFuture<void> scanning = m_model->rescan();
        for (const StatusBar* status : bars)
            QVERIFY(status->shownText().startsWith(QStringLiteral("Scanning…")));
        m_core->gate.release();
        QVERIFY(wait(scanning));
        m_core->holdScans = false;
        for (const StatusBar* status : bars)
            QVERIFY(!status->isBusy());
        const ModelEntry model = publish();
        m_dialogs.folders = {m_home->file(QStringLiteral("elsewhere"))};
        const QFuture<void> moving = m_model->move({model});
        QPushButton* stop = nullptr;
        for (QPushButton* button : m_window->modelsView()->statusBar().findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("Stop"))
                stop = button;
        QVERIFY(stop);
        QTRY_VERIFY(!stop->isHidden()); // once the panel answered and the move began
        stop->click();
        QVERIFY(wait(moving));
        QVERIFY(stop->isHidden());
    }

    void accessibleNames()
    {
        m_window->showSettings();
        m_model->showToast(QStringLiteral("Moved"), false, {QStringLiteral("id")});
        ToastView* toast = m_window->toastView();
        QCOMPARE(toast->accessibleDescription(), QStringLiteral("Moved"));
        QCOMPARE(QAccessible::queryAccessibleInterface(toast)->role(), QAccessible::AlertMessage);
        QCOMPARE(toast->undoButton()->text(), QStringLiteral("Undo"));
        QStringList names;
        for (const QWidget* widget : m_window->findChildren<QWidget*>())
            names << widget->accessibleName();
        for (const char* name : {"Sidebar", "Disk space", "Status", "Notification", "Banner",
                                 "Add Folder", "Remove Folder", "Free Duplicates"})
            QVERIFY2(names.contains(QLatin1String(name)), name);
    }

    void toastCutAfterTwoLines()
    {
        const QFont font;
        const QString text = ToastView::twoLines(QStringLiteral("word ").repeated(200), font, 200);
        QCOMPARE(text.count(u'\n'), 1);
        QVERIFY(text.endsWith(QChar(0x2026)));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
