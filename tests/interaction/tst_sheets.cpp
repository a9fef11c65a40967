// The undelete sheet, the list-file, PDF and calendar settings panels driven
// as a user drives them, and list files dropped on the window.
#include "ArrayController.h"
#include "CalendarStore.h"
#include "CalendarSyncViewController.h"
#include "DocumentFakes.h"
#include "DocumentPresenter.h"
#include "ListFilePanels.h"
#include "ListFiles.h"
#include "PrintPanels.h"
#include "QuadrantView.h"
#include "TestSupport.h"
#include "UndeleteModel.h"
#include "UndeleteViewController.h"
#include "UndoManager.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QLineEdit>
#include <QFileDialog>
#include <QFileInfo>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QVBoxLayout>

#include <csignal>
#include <sys/resource.h>

namespace {

// "Home" with an open, a trashed, a deleted and a completed-then-trashed
// item, and "Work" with a trashed item of its own; "Home" is selected.
struct Lists {
    DocumentFixture fx;
    TODOList *work = fx.selectedList(QStringLiteral("Work"));
    TODOList *home = fx.selectedList(QStringLiteral("Home"));

    Lists()
    {
        fx.document->setUp();
        fx.item(0, QStringLiteral("apple"));
        TODOItem *cherry = fx.item(1, QStringLiteral("cherry"));
        cherry->setState(RecordState::Trashed);
        cherry->setServerID(77);
        fx.item(2, QStringLiteral("banana"))->setState(RecordState::Deleted);
        TODOItem *date = fx.item(3, QStringLiteral("date"));
        fx.document->markTODOItem(date, home, nullptr, 100);
        date->setState(RecordState::Trashed);
        fx.document->newItemForProject(work, 0)->setName(QStringLiteral("elsewhere"));
        TODOItem *trashedAtWork = fx.document->newItemForProject(work, 1);
        trashedAtWork->setName(QStringLiteral("filed at work"));
        trashedAtWork->setState(RecordState::Trashed);
        fx.context()->processPendingChanges();
        fx.context()->undoManager()->closeAutomaticGroup();
    }

    TODOItem *named(const QString &name) const
    {
        for (TODOList *list : {home, work}) {
            for (TODOItem *item : list->contains()) {
                if (item->name() == name)
                    return item;
            }
        }
        return nullptr;
    }
    // What the quadrants show: "q:name", in quadrant order.
    QString shown() const
    {
        QStringList rows;
        for (int q = 0; q < 4; ++q) {
            for (ManagedObject *object : fx.document->controllerForQuadrant(q)->arrangedObjects())
                rows << QStringLiteral("%1:%2").arg(q).arg(static_cast<TODOItem *>(object)->name());
        }
        return rows.join(',');
    }
};

QString rowNames(const QAbstractItemModel *model)
{
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 0).data().toString();
    return names.join(',');
}

} // namespace

class TestSheets : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The panels as Qt's own dialogs, so the test can reach their fields.
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    }

    void undelete_data()
    {
        QTest::addColumn<bool>("listSelected");
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("candidates");
        QTest::addColumn<QStringList>("restored");

        const QString all = "banana,cherry,date";
        QTest::newRow("a second click unmarks") << true << QStringList{"cherry", "cherry"} << true << all << QStringList();
        // A completed item comes back open, still complete.
        QTest::newRow("trashed, deleted and completed come back") << true << QStringList{"cherry", "banana", "date"} << true
                                                                  << all << QStringList{"banana", "cherry", "date"};
        QTest::newRow("cancel changes nothing") << true << QStringList{"cherry"} << false << all << QStringList();
        QTest::newRow("no list selected") << false << QStringList() << true << "" << QStringList();
    }

    void undelete()
    {
        QFETCH(bool, listSelected);
        QFETCH(QStringList, clicks);
        QFETCH(bool, confirm);
        QFETCH(QStringList, restored);
        Lists l;
        if (!listSelected)
            l.fx.document->projects().projectsArrayController()->clearSelection();
        const QString shownBefore = l.shown();
        QHash<QString, std::pair<int, int>> before; // state and identity
        for (const char *name : {"apple", "banana", "cherry", "date", "filed at work"})
            before[name] = {l.named(name)->state(), l.named(name)->id_()};
        QWidget window;
        window.resize(600, 400);
        window.show();
        auto *sheet = new UndeleteViewController(l.fx.document.get(), &window);
        sheet->open();
        QVERIFY(sheet->isVisible());
        QListView *table = sheet->tableView();
        QTEST(rowNames(table->model()), "candidates");
        for (const QString &name : clicks) {
            const int row = rowNames(table->model()).split(',').indexOf(name);
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(row, 0)).center());
        }
        if (confirm)
            QTest::mouseClick(sheet->findChild<QPushButton *>("undeleteButton"), Qt::LeftButton);
        else
            sheet->reject();
        QVERIFY(!sheet->isVisible());
        QCOMPARE(sheet->model()->rowCount(), 0);
        l.fx.context()->processPendingChanges();

        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            TODOItem *item = l.named(it.key());
            const bool back = restored.contains(it.key());
            QCOMPARE(item->state(), back ? int(RecordState::Open) : it->first);
            // A new identity, so that the next sync sends it as a new item.
            QCOMPARE(item->id_() != it->second, back);
            if (back) {
                QCOMPARE(item->serverID(), 0);
                QVERIFY(l.shown().contains(QStringLiteral("%1:%2").arg(item->quadrant()).arg(it.key())));
            }
        }
        QCOMPARE(l.named("date")->completionPercentage(), 100);
        if (restored.isEmpty()) {
            QCOMPARE(l.shown(), shownBefore);
            return;
        }
        // One undo takes the whole restore back.
        l.fx.document->undo();
        l.fx.context()->processPendingChanges();
        QCOMPARE(l.shown(), shownBefore);
        for (const QString &name : restored)
            QCOMPARE(std::pair(l.named(name)->state(), l.named(name)->id_()), before[name]);
    }

    void panels_data()
    {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<bool>("accept");      // else cancelled
        QTest::addColumn<QString>("file");     // chosen in the panel
        QTest::addColumn<QByteArray>("before"); // the file's bytes before; "corvx" for an exported list
        QTest::addColumn<QString>("after");    // what the file holds afterwards
        QTest::addColumn<QString>("lists");    // every list afterwards, by name, with its items
        QTest::addColumn<int>("warnings");

        const QString home = "Home: apple, Work: elsewhere";
        QTest::newRow("export") << "export" << true << "lists.corvx" << QByteArray() << "Home" << home << 0;
        QTest::newRow("import") << "import" << true << "lists.corvx" << QByteArray("corvx") << "Home"
                                << "Home: apple, Home: apple, Work: elsewhere" << 0;
        QTest::newRow("save as html, cancelled") << "html" << false << "Home.html" << QByteArray("old page") << "old page"
                                                 << home << 0;
        QTest::newRow("csv, format error") << "csv" << true << "Errands.csv" << QByteArray("\"a\"b,c\n") << ""
                                           << "Errands.csv: , Home: apple, Work: elsewhere" << 1;
    }

    // Each panel saves the selected list to the chosen file, or makes new lists
    // from it; cancelling changes nothing.
    void panels()
    {
        QFETCH(QString, panel);
        QFETCH(bool, accept);
        QFETCH(QString, file);
        QFETCH(QByteArray, before);
        QFETCH(QString, after);
        Lists l;
        QTemporaryDir dir;
        const QString path = dir.filePath(file);
        QVERIFY(l.fx.context()->create(dir.filePath("store.sqlite")));
        if (before == "corvx")
            QVERIFY(ListFiles(*l.fx.document).exportToFile(path, {l.home}));
        else if (!before.isEmpty())
            QVERIFY(writeBytes(path, before));
        QWidget window;
        window.show();
        ListFilePanels panels(l.fx.document.get(), &window);

        QFileDialog *dialog = panel == "export" ? panels.showSavePanel()
            : panel == "import"                 ? panels.showWindowForImportCorvxFile()
            : panel == "html"                   ? panels.saveDocumentAsHTMLTo()
                                                : panels.importFromExcel();
        QVERIFY(dialog && dialog->isVisible());
        // A save proposes a file named after the selected list.
        if (dialog->acceptMode() == QFileDialog::AcceptSave)
            QCOMPARE(QFileInfo(dialog->selectedFiles().value(0)).fileName(), "Home." + QFileInfo(file).suffix());
        dialog->selectFile(path);
        if (accept)
            static_cast<QDialog *>(dialog)->accept(); // the Save or Open button
        else
            static_cast<QDialog *>(dialog)->reject();
        l.fx.context()->processPendingChanges();

        if (!after.isEmpty())
            QVERIFY(readBytes(path).contains(after.toUtf8()));
        QStringList shown;
        for (TODOList *list : l.fx.document->getAllProjects()) {
            QStringList items;
            for (TODOItem *item : list->contains()) {
                if (item->state() == RecordState::Open)
                    items << item->name();
            }
            items.sort();
            shown << list->name() + ": " + items.join(' ');
        }
        shown.sort();
        QTEST(shown.join(", "), "lists");
        QTEST(int(l.fx.alerts.warnings.size()), "warnings");
    }

    void drops_data()
    {
        QTest::addColumn<bool>("onQuadrant"); // else on the window beside it
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<int>("newLists");
        QTest::addColumn<int>("warnings");

        QTest::newRow("list file on a quadrant") << true << QStringList{"home.corvx"} << 1 << 0;
        QTest::newRow("list file on the window") << false << QStringList{"home.corvx"} << 1 << 0;
        QTest::newRow("the same file twice: two copies") << false << QStringList{"home.corvx", "HOME.CORVX"} << 2 << 0;
        QTest::newRow("not only list files: not taken") << false << QStringList{"home.corvx", "notes.txt"} << 0 << 0;
        QTest::newRow("damaged list file") << false << QStringList{"damaged.corvx", "home.corvx"} << 1 << 1;
    }

    void drops()
    {
        QFETCH(bool, onQuadrant);
        QFETCH(QStringList, files);
        QFETCH(int, newLists);
        Lists l;
        QTemporaryDir dir;
        // An import saves the store at once.
        QVERIFY(l.fx.context()->create(dir.filePath("store.sqlite")));
        const QByteArray exported = ListFiles(*l.fx.document).exportLists({l.home});
        for (const char *name : {"home.corvx", "HOME.CORVX", "notes.txt"})
            writeBytes(dir.filePath(name), exported);
        writeBytes(dir.filePath("damaged.corvx"), "this is not a list file");
        const QString shownBefore = l.shown();

        QWidget window;
        auto *presenter = new DocumentPresenter(l.fx.document.get());
        auto *quadrant = new QuadrantView(presenter->quadrantModel(0), l.fx.document.get());
        auto *beside = new QWidget;
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(quadrant);
        layout->addWidget(beside);
        window.resize(400, 400);
        window.show();
        ListFilePanels panels(l.fx.document.get(), &window);

        auto *data = new QMimeData;
        QList<QUrl> urls;
        for (const QString &name : files)
            urls << QUrl::fromLocalFile(dir.filePath(name));
        data->setUrls(urls);
        QWidget *target = onQuadrant ? quadrant->viewport() : &window;
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &enter);
        QCOMPARE(enter.isAccepted(), newLists > 0);
        QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &drop);
        l.fx.context()->processPendingChanges();

        QCOMPARE(l.fx.document->getAllProjects().size(), 2 + newLists);
        QTEST(int(l.fx.alerts.warnings.size()), "warnings");
        // The file became lists, not items linking to it.
        QCOMPARE(l.shown(), shownBefore);
        delete data;
    }

    void pdfPanel_data()
    {
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("existing"); // a file of that name is there already
        QTest::addColumn<bool>("room");     // else the disk fills up while writing
        QTest::addColumn<bool>("numbered"); // the user ticks "Header and Footer"
        QTest::newRow("numbered pages") << true << false << true << true;
        QTest::newRow("replacing a file") << true << true << true << false;
        QTest::newRow("no room: older file kept") << true << true << false << false;
        QTest::newRow("cancelled") << false << true << true << true;
    }

    // Export as PDF writes the selected list's page under the chosen name;
    // cancelling the panel writes nothing, and a write that fails leaves the
    // older file as it was.
    void pdfPanel()
    {
        QFETCH(bool, accepted);
        QFETCH(bool, existing);
        QFETCH(bool, room);
        QFETCH(bool, numbered);
        Lists l;
        QTemporaryDir dir;
        const QString path = dir.filePath("Home.pdf");
        if (existing)
            writeBytes(path, "older file");
        QWidget window;
        window.show();
        PrintPanels printing(l.fx.document.get(), &window, &window);

        QFileDialog *panel = printing.saveDocumentAsPDF();
        QVERIFY(panel && panel->isVisible());
        panel->setDirectory(dir.path());
        if (numbered)
            panel->findChild<QCheckBox *>("pageNumbering")->click();
        bool asked = false;
        if (existing && accepted) { // the panel asks before replacing; the user agrees
            QTimer::singleShot(0, [&asked] {
                if (auto *question = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    asked = true;
                    question->button(QMessageBox::Yes)->click();
                }
            });
        }
        // A full disk: this process may write no file larger than 1 KiB.
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit full{1024, limit.rlim_max};
        signal(SIGXFSZ, SIG_IGN);
        if (!room)
            setrlimit(RLIMIT_FSIZE, &full);
        if (accepted)
            static_cast<QDialog *>(panel)->accept();
        else
            panel->reject();
        setrlimit(RLIMIT_FSIZE, &limit);
        QCOMPARE(asked, existing && accepted);
        QCOMPARE(l.fx.alerts.warnings.size(), room ? 0 : 1);

        const QByteArray bytes = readBytes(path);
        if (!accepted || !room) {
            QCOMPARE(bytes, existing ? QByteArray("older file") : QByteArray());
            QCOMPARE(folderEntries(dir.path()).size(), existing ? 1 : 0);
            QVERIFY(!Defaults::standard().boolValue("NumberPagesWhenPrinting"));
            return;
        }
        QVERIFY(bytes.startsWith("%PDF"));
        QProcess pdftotext;
        pdftotext.start("pdftotext", {path, "-"});
        QVERIFY(pdftotext.waitForFinished());
        const QString text = pdftotext.readAllStandardOutput();
        QVERIFY2(text.contains("Home") && text.contains("apple") && !text.contains("elsewhere"), qPrintable(text));
        QCOMPARE(text.contains("Page 1 of 1"), numbered);
        QCOMPARE(Defaults::standard().boolValue("NumberPagesWhenPrinting"), numbered);
        // Written whole and renamed into place: no temporary file is left.
        QCOMPARE(folderEntries(dir.path()).size(), 1);
    }

    void calendarSheet_data()
    {
        QTest::addColumn<bool>("accepted");
        QTest::newRow("done") << true;
        QTest::newRow("cancelled") << false;
    }

    // The sheet writes what the user chose, and the calendar sync then works in
    // the chosen folder: the dated item's event lands in the chosen calendar.
    // Cancelling changes nothing.
    void calendarSheet()
    {
        QFETCH(bool, accepted);
        Lists l;
        l.home->setId_(5);
        l.work->setId_(6);
        l.named("apple")->setDueDate(Clock::now().addDays(2));
        QTemporaryDir dir;
        const QString before = dir.filePath("before");
        const QString chosen = dir.filePath("synced");
        Defaults::standard().setValue("calendarStoreFolder", before);
        CalCalendar errands{{}, "Errands", {}, {}};
        QString error;
        QVERIFY(CalCalendarStore(chosen).saveCalendar(errands, &error));
        QWidget window;
        window.show();
        CalendarSyncViewController sheet(l.fx.document.get(), &window);
        sheet.open();
        QTest::mouseClick(sheet.calendarSyncCheck(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(sheet.autoSyncCheck(), Qt::LeftButton, {}, QPoint(5, 5));
        sheet.projectSelectionComboBox()->setCurrentIndex(sheet.projectSelectionComboBox()->findText("Work"));
        QFileDialog *panel = sheet.chooseFolder();
        panel->selectFile(chosen);
        static_cast<QDialog *>(panel)->accept();
        QCOMPARE(sheet.folderField()->text(), chosen);
        QComboBox *calendars = sheet.calendarSelectionComboBox();
        calendars->setCurrentIndex(calendars->findText("Errands"));
        if (accepted)
            QTest::mouseClick(sheet.doneButton(), Qt::LeftButton);
        else
            QTest::keyClick(&sheet, Qt::Key_Escape);
        QVERIFY(!sheet.isVisible());

        const Defaults &defaults = Defaults::standard();
        QCOMPARE(defaults.boolValue("doCalSync"), accepted);
        QCOMPARE(defaults.boolValue("doAutoCalSync"), accepted);
        QCOMPARE(defaults.intValue("calendarProject"), accepted ? 6 : 0);
        QCOMPARE(defaults.stringValue("calendarForExport"), accepted ? "Errands" : "");
        QCOMPARE(defaults.stringValue("calendarStoreFolder"), accepted ? chosen : before);
        QStringList events;
        QDirIterator files(dir.path(), {"*.ics"}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext())
            events << files.next();
        QCOMPARE(events.size(), accepted ? 1 : 0);
        if (accepted)
            QCOMPARE(QFileInfo(events.constFirst()).dir().absolutePath(), chosen + '/' + errands.uid);
    }
};

QTEST_MAIN(TestSheets)
#include "tst_sheets.moc"
