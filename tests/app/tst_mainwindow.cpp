#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "app/AppModel.h"
#include "app/CoreCalls.h"
#include "app/SidebarRoles.h"
#include "ui/Banner.h"
#include "ui/Banners.h"
#include "ui/DiskFreeFooter.h"
#include "ui/MainWindow.h"
#include "ui/ModelTable.h"
#include "ui/ModelsView.h"
#include "ui/Palette.h"
#include "ui/SettingsWindow.h"
#include "ui/SidebarList.h"
#include "ui/SidebarView.h"
#include "ui/SourceStyle.h"
#include "ui/StatusBar.h"
#include "ui/StorageHeader.h"
#include "ui/ToastView.h"
#include "ui/TrashTable.h"
#include "ui/TrashView.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QShortcut>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

using namespace Qt::StringLiterals;

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

QStringList rowTitles(const SidebarView* sidebar)
{
    return sidebar->choiceTitles();
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
        return sidebar()->row(item).data(SidebarRoles::trailing).toString();
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
        QVERIFY(!sidebar()->row(SidebarItem::duplicates()).isValid());
        QVERIFY(m_window->banners()->ollamaBanner()->isHidden());
        QVERIFY(!m_window->command(QStringLiteral("Export Report…"))->isEnabled());
    }

    void duplicatesRowFollowsScan()
    {
        publish();
        QVERIFY(!sidebar()->row(SidebarItem::duplicates()).isValid());
        QCOMPARE(trailing(SidebarItem::all()), QStringLiteral("1 KB"));
        publish(true);
        QVERIFY(sidebar()->row(SidebarItem::duplicates()).isValid());
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
        QCOMPARE(sidebar()->list()->currentIndex(), sidebar()->row(SidebarItem::duplicates()));
    }

    void looseRowAfterCodingCaches()
    {
        QVERIFY(!rowTitles(sidebar()).contains(QStringLiteral("Loose Files")));
        m_model->setIncludeLoose(true);
        const QStringList titles = rowTitles(sidebar());
        QCOMPARE(titles.indexOf(QStringLiteral("Loose Files")),
                 titles.indexOf(QStringLiteral("AI Caches")) + 1);
    }

    // A later source has a row only while it holds something, in source order, each with its
    // own colour and a drawn icon.
    void laterSourceRowsWhenHoldingSomething()
    {
        const QStringList before = rowTitles(sidebar());
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
        QCOMPARE(rowTitles(sidebar()), expected);
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
        const QModelIndex row = sidebar()->row(SidebarItem::ofFolder(stored));
        QVERIFY(row.isValid());
        QCOMPARE(row.data().toString(), QStringLiteral("Checkpoints"));
        QCOMPARE(row.data(Qt::ToolTipRole).toString(), stored);
        sidebar()->list()->setCurrentIndex(row);
        QCOMPARE(m_model->sidebar(), SidebarItem::ofFolder(stored));
        QVERIFY(wait(m_model->removeFolder(stored)));
        QCOMPARE(m_model->sidebar(), SidebarItem::all());
        QCOMPARE(sidebar()->list()->currentIndex(), sidebar()->row(SidebarItem::all()));
    }

    void trashRowIconAndBadge()
    {
        const auto icon = [this] {
            return sidebar()->row(SidebarItem::trash()).data(ItemRoles::iconName);
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
        QVERIFY(!sidebar()->row(SidebarItem::notUsedLately()).isValid());
        model.lastUsed = QDateTime::currentDateTimeUtc().addDays(-120);
        ScanResult scan;
        scan.models = {model};
        m_core->canned = scan;
        QVERIFY(wait(m_model->rescan()));
        QVERIFY(sidebar()->row(SidebarItem::notUsedLately()).isValid());
        const QStringList titles = rowTitles(sidebar());
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
        QTRY_COMPARE(trashed.model()->rowCount(), 1);
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

    // What a screen reader offers on each window: every control has a name (the search
    // field's icon and clear button too), and the names views are known by.
    void namedControls_data()
    {
        QTest::addColumn<bool>("settings");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("main window")
            << false
            << QStringList{u"Sidebar"_s,      u"Disk space"_s,  u"Status"_s,        u"Search"_s,
                           u"Clear Search"_s, u"Loose Files"_s, u"Export Report"_s, u"Scan"_s,
                           u"Models"_s,       u"Moved"_s};
        QTest::newRow("settings") << true
                                  << QStringList{u"Add Folder"_s, u"Remove Folder"_s, u"Folders"_s};
    }
    void namedControls()
    {
        QFETCH(bool, settings);
        QFETCH(QStringList, names);
        publish();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->modelsView()->searchField().setText(u"a"_s);
        m_model->showToast(u"Moved"_s, false, {u"id"_s});
        QWidget* window = m_window.get();
        if (settings) {
            m_window->showSettings();
            window = m_window->settingsWindow();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            window->findChild<QTabWidget*>()->setCurrentIndex(1); // Folders
        }
        using A = QAccessible;
        const QSet<A::Role> controls{A::Button,     A::CheckBox, A::RadioButton,
                                     A::ButtonMenu, A::ComboBox, A::EditableText,
                                     A::List,       A::Table,    A::PageTab};
        QStringList shown;
        QStringList nameless;
        std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
            for (int i = 0; i < node->childCount(); ++i) {
                QAccessibleInterface* child = node->child(i);
                if (!child || child->state().invisible)
                    continue;
                const QString name = child->text(A::Name);
                shown << name;
                if (controls.contains(child->role()) && name.isEmpty())
                    nameless << QString::fromLatin1(child->object()->metaObject()->className());
                walk(child);
            }
        };
        walk(QAccessible::queryAccessibleInterface(window));
        QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(u", "_s)));
        for (const QString& name : names)
            QVERIFY2(shown.contains(name), qPrintable(name));
        ToastView* toast = m_window->toastView();
        QCOMPARE(QAccessible::queryAccessibleInterface(toast)->role(), QAccessible::AlertMessage);
        QCOMPARE(toast->undoButton()->text(), u"Undo"_s);
        QStringList widgetNames;
        for (const QWidget* widget : m_window->findChildren<QWidget*>())
            widgetNames << widget->accessibleName();
        for (const QString& name : {u"Banner"_s, u"Free Duplicates"_s})
            QVERIFY2(widgetNames.contains(name), qPrintable(name));
    }

    // Tab walks the shown page in the order it is drawn, through controls that each have a name.
    void tabOrder_data()
    {
        QTest::addColumn<bool>("trash");
        QTest::addColumn<QStringList>("reached"); // in this order, others between them
        QTest::newRow("models") << false
                                << QStringList{u"Sidebar"_s,     u"Search names and paths"_s,
                                               u"Loose Files"_s, u"Export Report"_s,
                                               u"Scan"_s,        u"Models"_s};
        QTest::newRow("trash") << true << QStringList{u"Sidebar"_s, u"Trash items"_s};
    }
    void tabOrder()
    {
        QFETCH(bool, trash);
        QFETCH(QStringList, reached);
        const ModelEntry model = publish();
        if (trash) {
            QVERIFY(wait(m_model->trash({model})));
            m_model->setSidebar(SidebarItem::trash());
        }
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        if (trash)
            QTRY_COMPARE(m_window->trashView()->table().model()->rowCount(), 1);
        sidebar()->list()->setFocus(Qt::TabFocusReason);
        QList<QWidget*> visited;
        QStringList names;
        for (QWidget* focus = QApplication::focusWidget(); focus && !visited.contains(focus);
             focus = QApplication::focusWidget()) {
            visited << focus;
            const QString name =
                QAccessible::queryAccessibleInterface(focus)->text(QAccessible::Name);
            QVERIFY2(!name.isEmpty(), focus->metaObject()->className());
            names << name;
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        qsizetype at = -1;
        for (const QString& name : reached) {
            const qsizetype found = names.indexOf(name, at + 1);
            QVERIFY2(found > at, qPrintable(name + u" in "_s + names.join(u", "_s)));
            at = found;
        }
    }

    // The settings window is a dialog over the main window that Escape closes.
    void settingsIsADialog()
    {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->showSettings();
        SettingsWindow* settings = m_window->settingsWindow();
        QVERIFY(QTest::qWaitForWindowExposed(settings));
        QCOMPARE(QAccessible::queryAccessibleInterface(settings)->role(), QAccessible::Dialog);
        QCOMPARE(settings->windowHandle()->transientParent(), m_window->windowHandle());
        QTest::keyClick(settings, Qt::Key_Escape);
        QVERIFY(settings->isHidden());
    }

    // A toast keeps the words after a long path: paths in the "~" form, the capsule at most two
    // thirds of the window, the whole text as its name and tooltip.
    void toastKeepsItsWords_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("message"); // "<home>" stands for the home path
        QTest::addColumn<QString>("last");    // the words that must be shown
        const QString failed =
            u"Could not move <home>/Models/checkpoints/stable-diffusion/very/long/folder/name/"
            u"that/goes/on/model.safetensors: the drive is full. Free some space on it and try "
            u"again."_s;
        QTest::newRow("long path, minimum size") << 900 << failed << u"and try again."_s;
        QTest::newRow("long path, normal size") << 1180 << failed << u"and try again."_s;
        QTest::newRow("short") << 900 << u"Moved a to <home>/x"_s << u"Moved a to ~/x"_s;
        QTest::newRow("endless") << 900 << u"word "_s.repeated(200).trimmed() << u"word"_s;
    }
    void toastKeepsItsWords()
    {
        QFETCH(int, width);
        QFETCH(QString, message);
        QFETCH(QString, last);
        m_window->resize(width, 600);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QCOMPARE(m_window->width(), width);
        const QString full = QString(message).replace(u"<home>"_s, u"~"_s);
        m_model->showToast(message.replace(u"<home>"_s, m_home->path()), true);
        ToastView* toast = m_window->toastView();
        QCOMPARE(toast->accessibleName(), full);
        QCOMPARE(toast->toolTip(), full);
        const QString shown = toast->shownText();
        QVERIFY2(QString(shown).replace(u'\n', u' ').contains(last), qPrintable(shown));
        QVERIFY(!shown.contains(m_home->path()));
        QVERIFY(shown.count(u'\n') <= 2);
        QVERIFY(toast->capsule().width() <= m_window->centralWidget()->width() * 2 / 3);
    }

    // "Scan" and the spinner share one slot: nothing in the toolbar moves when a scan starts.
    void toolbarStaysPutWhileScanning()
    {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTRY_VERIFY(m_model->scan() && !m_model->isScanning());
        ModelsView* view = m_window->modelsView();
        const auto places = [view] {
            // Each layout asks its parent's again: settle them from the toolbar up.
            for (int depth = 0; depth < 8; ++depth)
                QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            auto* toolbar = view->findChild<QToolBar*>();
            QList<QRect> rects;
            for (const QWidget* widget :
                 {static_cast<QWidget*>(toolbar), static_cast<QWidget*>(&view->searchField()),
                  toolbar->widgetForAction(&view->looseAction()),
                  toolbar->widgetForAction(&view->exportAction())})
                rects << QRect(widget->mapTo(view, QPoint()), widget->size());
            return rects;
        };
        const QList<QRect> idle = places();
        m_core->holdScans = true;
        const QFuture<void> scanning = m_model->rescan();
        QVERIFY(m_model->isScanning());
        QCOMPARE(places(), idle);
        m_core->gate.release();
        QVERIFY(wait(scanning));
        QCOMPARE(places(), idle);
    }

    // At the minimum size and at the normal one, every legend label is shown whole.
    void legendNeverCut_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("minimum") << QSize(900, 520);
        QTest::newRow("normal") << QSize(1180, 740);
    }
    void legendNeverCut()
    {
        QFETCH(QSize, size);
        ScanResult scan;
        qint64 bytes = 4'200'000;
        for (const ModelSource source : ModelSource::allCases()) {
            ModelEntry model = TrashFixtures::model(source.rawValue(), {source.rawValue()}, bytes);
            model.source = source;
            scan.models.push_back(model);
            bytes += 1'100'000'000;
        }
        m_core->canned = scan;
        m_window->resize(size);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTRY_VERIFY(m_model->scan() && !m_model->isScanning());
        QCOMPARE(m_window->size(), size);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        StorageHeader& header = m_window->modelsView()->storageHeader();
        QVERIFY(header.isVisible());
        const QRect visible(header.mapTo(m_window.get(), QPoint()), header.size());
        int labels = 0;
        for (const QLabel* label : header.findChildren<QLabel*>()) {
            if (label->text().isEmpty())
                continue;
            ++labels;
            const QRect place(label->mapTo(m_window.get(), QPoint()), label->size());
            QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
            QVERIFY2(visible.contains(place) && m_window->rect().contains(place),
                     qPrintable(label->text()));
        }
        QCOMPARE(labels, 2 + 2 * ModelSource::count);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
