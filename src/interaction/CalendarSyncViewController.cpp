#include "CalendarSyncViewController.h"

#include "CalendarStore.h"
#include "Defaults.h"
#include "Logging.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString FolderKey = QStringLiteral("calendarStoreFolder");
}

CalendarSyncViewController::CalendarSyncViewController(MyDocument *document, QWidget *window)
    : QDialog(window)
    , m_settings(document)
    , m_syncCheck(new QCheckBox(tr("Sync dated items with a calendar"), this))
    , m_autoCheck(new QCheckBox(tr("Sync automatically every five minutes"), this))
    , m_projects(new QComboBox(this))
    , m_calendars(new QComboBox(this))
    , m_folder(new QLineEdit(this))
    , m_done(new QPushButton(tr("Done"), this))
{
    setObjectName(QStringLiteral("calendarSyncSheet"));
    setWindowTitle(tr("Calendar Sync"));
    setWindowModality(Qt::WindowModal);
    m_calendars->setEditable(true); // a new title makes a new calendar
    m_calendars->setInsertPolicy(QComboBox::NoInsert);
    m_folder->setReadOnly(true);
    m_folder->setMinimumWidth(320);
    auto *choose = new QPushButton(tr("Choose…"), this);
    choose->setAutoDefault(false);
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(choose);

    auto *form = new QFormLayout;
    form->addRow(m_syncCheck);
    form->addRow(m_autoCheck);
    form->addRow(tr("New events go to the list:"), m_projects);
    form->addRow(tr("Calendar:"), m_calendars);
    form->addRow(tr("Calendar folder:"), folderRow);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    buttons->addButton(m_done, QDialogButtonBox::AcceptRole);
    m_done->setDefault(true);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(m_syncCheck, &QCheckBox::toggled, this, &CalendarSyncViewController::syncToggled);
    connect(choose, &QPushButton::clicked, this, &CalendarSyncViewController::chooseFolder);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CalendarSyncViewController::open()
{
    qCInfo(lcSync) << "Opening calendar sync settings window";
    m_projects->clear();
    m_projects->addItems(m_settings.loadProjects());
    m_folder->setText(CalCalendarStore::defaultCalendarStoreFolder());
    m_settings.loadDefaults();
    loadCalendars();
    m_syncCheck->setChecked(m_settings.calendarSyncEnabled);
    m_autoCheck->setChecked(m_settings.autoSyncEnabled);
    m_projects->setCurrentIndex(m_projects->findText(m_settings.projectName));
    syncToggled();
    QDialog::open();
    m_syncCheck->setFocus(); // so Return is Done
}

// The calendars of the folder in the field; the calendar name typed or
// stored stays as it is.
void CalendarSyncViewController::loadCalendars()
{
    m_calendars->clear();
    for (const CalCalendar &calendar : CalCalendarStore(m_folder->text()).calendars())
        m_calendars->addItem(calendar.title);
    m_calendars->setCurrentText(m_settings.currentCalendarName);
}

void CalendarSyncViewController::syncToggled()
{
    const bool on = m_syncCheck->isChecked();
    m_autoCheck->setEnabled(on);
    m_projects->setEnabled(on);
    m_calendars->setEnabled(on);
}

QFileDialog *CalendarSyncViewController::chooseFolder()
{
    auto *panel = new QFileDialog(this, tr("Choose the Calendar Folder"), m_folder->text());
    panel->setObjectName(QStringLiteral("calendarFolderPanel"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly);
    connect(panel, &QFileDialog::fileSelected, this, [this](const QString &folder) {
        m_settings.currentCalendarName = m_calendars->currentText();
        m_folder->setText(QDir::cleanPath(folder));
        loadCalendars();
    });
    panel->open();
    return panel;
}

void CalendarSyncViewController::done(int result)
{
    if (result == QDialog::Accepted) {
        // The folder first: the calendar controller follows it when it is asked
        // for. An unchanged default folder is not written, so it stays a default.
        if (m_folder->text() != CalCalendarStore::defaultCalendarStoreFolder())
            Defaults::standard().setValue(FolderKey, m_folder->text());
        m_settings.calendarSyncEnabled = m_syncCheck->isChecked();
        m_settings.autoSyncEnabled = m_autoCheck->isChecked();
        m_settings.projectName = m_projects->currentText();
        m_settings.currentCalendarName = m_calendars->currentText();
        m_settings.done();
    }
    QDialog::done(result);
}
