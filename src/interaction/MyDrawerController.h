#pragma once

#include <QDockWidget>
#include <QList>
#include <QPointer>
#include <QTimer>

class ArrayController;
class Binding;
class DrawerPresenter;
class FrequencyComboBox;
class IconBrowser;
class ImageButton;
class MyDocument;
class OptionalDateEdit;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QTextEdit;
class TODOItem;
struct ObjectsChange;

// The item drawer: a panel at the window's right edge showing every field of
// the selected item for editing. The fields are bound to the selection of
// the quadrant holding the item, so each edit goes straight into the store;
// the check boxes and pop-ups that change several attributes at once, the
// notes and the icon go through the DrawerPresenter. It opens when the
// document names an item and closes half a second after it names none,
// unless the user hid it (setDrawerShown).
class MyDrawerController : public QDockWidget
{
    Q_OBJECT
public:
    static constexpr int CloseDelayMilliseconds = 500;

    explicit MyDrawerController(MyDocument *document, QWidget *parent = nullptr);
    ~MyDrawerController() override;

    DrawerPresenter *presenter() const { return m_presenter; }
    // Whether the drawer may open; off, it stays closed whatever is selected.
    bool isDrawerShown() const { return m_drawerShown; }
    void setDrawerShown(bool shown);

    // The controls, for the window's tests.
    ImageButton *imageViewButton() const { return m_imageViewButton; }
    QLineEdit *nameTextField() const { return m_nameTextField; }
    QLabel *completionTextField() const { return m_completionTextField; }
    QCheckBox *completionCheckBox() const { return m_completionCheckBox; }
    QSlider *completionLevelIndicator() const { return m_completionLevelIndicator; }
    QTextEdit *notesTextView() const { return m_notesTextView; }
    QCheckBox *datesCheckBox() const { return m_datesCheckBox; }
    QCheckBox *hasStartDateCheckBox() const { return m_hasStartDateCheckBox; }
    QCheckBox *allDayCheckBox() const { return m_allDayCheckBox; }
    OptionalDateEdit *dueDateDatePicker() const { return m_dueDateDatePicker; }
    OptionalDateEdit *startDateDatePicker() const { return m_startDateDatePicker; }
    OptionalDateEdit *completedDateDatePicker() const { return m_completedDateDatePicker; }
    OptionalDateEdit *untilDateDatePicker() const { return m_untilDateDatePicker; }
    FrequencyComboBox *repeatComboBox() const { return m_repeatComboBox; }
    QComboBox *effortComboBox() const { return m_effortComboBox; }
    QLabel *createdDateLabel() const { return m_createdDateLabel; }
    QLabel *editedDateLabel() const { return m_editedDateLabel; }
    IconBrowser *iconBrowser() const { return m_iconBrowser; }

private:
    QWidget *makeContents();
    void itemChanged(TODOItem *item, bool takeFocus);
    void bindDrawerToArrayController(ArrayController *controller);
    void unbindController();
    void closeIfNeededAfterDelay();
    void showNotes();
    void notesEdited();
    void storeChanged(const ObjectsChange &change);
    void paintBackground(const TODOItem *item);
    void setFirstResponder();
    void showImagesWindow();

    QPointer<MyDocument> m_document;
    DrawerPresenter *m_presenter;
    QList<Binding *> m_bindings;
    QPointer<ArrayController> m_boundController;
    QTimer m_closeTimer;
    bool m_drawerShown = true;
    bool m_showingNotes = false;

    QWidget *m_backgroundView = nullptr;
    ImageButton *m_imageViewButton = nullptr;
    QLineEdit *m_nameTextField = nullptr;
    QLabel *m_completionTextField = nullptr;
    QCheckBox *m_completionCheckBox = nullptr;
    QSlider *m_completionLevelIndicator = nullptr;
    QTextEdit *m_notesTextView = nullptr;
    QCheckBox *m_datesCheckBox = nullptr;
    QCheckBox *m_hasStartDateCheckBox = nullptr;
    QCheckBox *m_allDayCheckBox = nullptr;
    OptionalDateEdit *m_dueDateDatePicker = nullptr;
    OptionalDateEdit *m_startDateDatePicker = nullptr;
    OptionalDateEdit *m_completedDateDatePicker = nullptr;
    OptionalDateEdit *m_untilDateDatePicker = nullptr;
    QLabel *m_dowDueDate = nullptr;
    QLabel *m_dowStartDate = nullptr;
    QLabel *m_dowCompletionDate = nullptr;
    QLabel *m_dowUntilDate = nullptr;
    FrequencyComboBox *m_repeatComboBox = nullptr;
    QComboBox *m_effortComboBox = nullptr;
    QLabel *m_effortPoints = nullptr;
    QLabel *m_createdDateLabel = nullptr;
    QLabel *m_creatorLabel = nullptr;
    QLabel *m_editedDateLabel = nullptr;
    IconBrowser *m_iconBrowser = nullptr;
};
