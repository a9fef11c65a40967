#pragma once

#include "CalendarSyncSettings.h"

#include <QDialog>

class MyDocument;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QLineEdit;
class QPushButton;

// The calendar sync settings sheet: calendar sync and automatic sync, the
// list that receives new events, the calendar to use and the folder of
// calendars (the folder a sync program such as vdirsyncer carries to a
// CalDAV server). Done saves the choices and starts or stops the sync;
// Cancel (Escape) changes nothing. Window-modal; the choices are loaded
// each time it opens, and the folder choice of the sheet is offered at once.
class CalendarSyncViewController : public QDialog
{
    Q_OBJECT
public:
    CalendarSyncViewController(MyDocument *document, QWidget *window);

    QCheckBox *calendarSyncCheck() const { return m_syncCheck; }
    QCheckBox *autoSyncCheck() const { return m_autoCheck; }
    QComboBox *projectSelectionComboBox() const { return m_projects; }
    QComboBox *calendarSelectionComboBox() const { return m_calendars; }
    QLineEdit *folderField() const { return m_folder; }
    QPushButton *doneButton() const { return m_done; }

    // Loads the lists, the calendars and the preferences, then shows the sheet.
    void open() override;
    // The folder chooser over the sheet; a chosen folder replaces the
    // folder field and its calendars are offered.
    QFileDialog *chooseFolder();
    // Accepted: saves and applies the choices; rejected: changes nothing.
    void done(int result) override;

private:
    void loadCalendars();
    void syncToggled();

    CalendarSyncSettings m_settings;
    QCheckBox *m_syncCheck;
    QCheckBox *m_autoCheck;
    QComboBox *m_projects;
    QComboBox *m_calendars;
    QLineEdit *m_folder;
    QPushButton *m_done;
};
