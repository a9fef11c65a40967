#include "MyDrawerController.h"

#include "ArrayController.h"
#include "Binding.h"
#include "DrawerControls.h"
#include "DrawerPresenter.h"
#include "IconBrowser.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "ValueTransformer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QSlider>
#include <QTextEdit>

namespace {

QLabel *infoLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

MyDrawerController::MyDrawerController(MyDocument *document, QWidget *parent)
    : QDockWidget(tr("Item"), parent)
    , m_document(document)
    , m_presenter(new DrawerPresenter(document, this))
{
    setObjectName(QStringLiteral("drawer"));
    setFeatures(QDockWidget::NoDockWidgetFeatures);
    setAllowedAreas(Qt::RightDockWidgetArea);
    setWidget(makeContents());
    m_iconBrowser = new IconBrowser(this);

    m_closeTimer.setSingleShot(true);
    m_closeTimer.setInterval(CloseDelayMilliseconds);
    connect(&m_closeTimer, &QTimer::timeout, this, [this] {
        if (!m_presenter->item())
            hide();
    });
    connect(m_presenter, &DrawerPresenter::itemChanged, this, &MyDrawerController::itemChanged);
    connect(document->managedObjectContext(), &ManagedObjectContext::objectsDidChange, this,
            &MyDrawerController::storeChanged);

    // The actions that change several attributes run on the user's clicks
    // only, never when a binding shows a value.
    DrawerPresenter *p = m_presenter;
    connect(m_datesCheckBox, &QCheckBox::clicked, p, &DrawerPresenter::datesCheckBoxWasClicked);
    connect(m_dueDateDatePicker, &OptionalDateEdit::cleared, p, [p] { p->datesCheckBoxWasClicked(false); });
    connect(m_hasStartDateCheckBox, &QCheckBox::clicked, p, &DrawerPresenter::hasStartDateCheckBoxWasClicked);
    connect(m_allDayCheckBox, &QCheckBox::clicked, p, &DrawerPresenter::allDayCheckBoxWasClicked);
    connect(m_allDayCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        m_dueDateDatePicker->setDateOnly(on);
        m_startDateDatePicker->setDateOnly(on);
    });
    connect(m_repeatComboBox, &QComboBox::textActivated, p, &DrawerPresenter::frequencyComboBoxWasChanged);
    connect(m_completionLevelIndicator, &QSlider::valueChanged, p, &DrawerPresenter::completionSliderChanged);
    connect(m_completionCheckBox, &QCheckBox::clicked, p, [p](bool done) { p->completionSliderChanged(done ? 100 : 0); });
    connect(m_imageViewButton, &QToolButton::clicked, this, &MyDrawerController::showImagesWindow);
    connect(m_iconBrowser, &IconBrowser::selectedImageChanged, p, &DrawerPresenter::setIcon);
    connect(m_notesTextView, &QTextEdit::textChanged, this, &MyDrawerController::notesEdited);

    widget()->setEnabled(false);
    hide();
}

MyDrawerController::~MyDrawerController()
{
    unbindController();
}

QWidget *MyDrawerController::makeContents()
{
    m_backgroundView = new QWidget;
    m_backgroundView->setObjectName(QStringLiteral("drawerBackground"));
    m_backgroundView->setAutoFillBackground(true);
    QWidget *w = m_backgroundView;

    m_imageViewButton = new ImageButton(w);
    m_imageViewButton->setObjectName(QStringLiteral("imageViewButton"));
    m_imageViewButton->setIconSize(QSize(48, 48));
    m_imageViewButton->setAutoRaise(true);
    m_imageViewButton->setToolTip(tr("Choose an icon"));
    m_nameTextField = new QLineEdit(w);
    m_nameTextField->setObjectName(QStringLiteral("nameTextField"));
    m_nameTextField->setPlaceholderText(tr("No item name"));
    QFont bold = m_nameTextField->font();
    bold.setBold(true);
    m_nameTextField->setFont(bold);

    m_completionCheckBox = new QCheckBox(tr("Done"), w);
    m_completionLevelIndicator = new QSlider(Qt::Horizontal, w);
    m_completionLevelIndicator->setRange(0, 100);
    m_completionLevelIndicator->setSingleStep(10);
    m_completionLevelIndicator->setPageStep(10);
    m_completionLevelIndicator->setTickInterval(10);
    m_completionLevelIndicator->setTickPosition(QSlider::TicksBelow);
    // A drag completes the item once, where it is let go.
    m_completionLevelIndicator->setTracking(false);
    m_completionLevelIndicator->setToolTip(tr("Completion"));
    m_completionTextField = new QLabel(w);

    m_datesCheckBox = new QCheckBox(tr("Due"), w);
    m_hasStartDateCheckBox = new QCheckBox(tr("Start"), w);
    m_allDayCheckBox = new QCheckBox(tr("All day"), w);
    m_dueDateDatePicker = new OptionalDateEdit(w);
    m_startDateDatePicker = new OptionalDateEdit(w);
    m_untilDateDatePicker = new OptionalDateEdit(w);
    m_completedDateDatePicker = new OptionalDateEdit(w);
    m_dowDueDate = new QLabel(w);
    m_dowStartDate = new QLabel(w);
    m_dowUntilDate = new QLabel(w);
    m_dowCompletionDate = new QLabel(w);

    m_repeatComboBox = new FrequencyComboBox(DrawerPresenter::frequencies(), w);
    m_effortComboBox = new QComboBox(w);
    const ValueTransformer *duration = ValueTransformer::valueTransformerForName(QStringLiteral("EffortValueToDurationString"));
    for (int effort = 0; effort <= 8; ++effort)
        m_effortComboBox->addItem(duration->transformedValue(effort).toString());
    m_effortPoints = new QLabel(w);
    m_effortPoints->setToolTip(tr("Effort points"));

    m_createdDateLabel = infoLabel(w);
    m_creatorLabel = infoLabel(w);
    m_editedDateLabel = infoLabel(w);

    m_notesTextView = new QTextEdit(w);
    m_notesTextView->setObjectName(QStringLiteral("notesTextView"));
    m_notesTextView->setPlaceholderText(tr("Notes"));
    m_notesTextView->setTabChangesFocus(true);

    auto *grid = new QGridLayout(w);
    int row = 0;
    grid->addWidget(m_imageViewButton, row, 0);
    grid->addWidget(m_nameTextField, row++, 1, 1, 2);
    grid->addWidget(m_completionCheckBox, row, 0);
    grid->addWidget(m_completionLevelIndicator, row, 1);
    grid->addWidget(m_completionTextField, row++, 2);
    const auto dateRow = [&](QWidget *label, OptionalDateEdit *picker, QLabel *weekday) {
        grid->addWidget(label, row, 0);
        grid->addWidget(picker, row, 1);
        grid->addWidget(weekday, row++, 2);
    };
    dateRow(m_datesCheckBox, m_dueDateDatePicker, m_dowDueDate);
    dateRow(m_hasStartDateCheckBox, m_startDateDatePicker, m_dowStartDate);
    grid->addWidget(m_allDayCheckBox, row++, 1);
    grid->addWidget(new QLabel(tr("Repeat"), w), row, 0);
    grid->addWidget(m_repeatComboBox, row++, 1);
    dateRow(new QLabel(tr("Until"), w), m_untilDateDatePicker, m_dowUntilDate);
    dateRow(new QLabel(tr("Completed"), w), m_completedDateDatePicker, m_dowCompletionDate);
    grid->addWidget(new QLabel(tr("Effort"), w), row, 0);
    grid->addWidget(m_effortComboBox, row, 1);
    grid->addWidget(m_effortPoints, row++, 2);
    grid->addWidget(m_notesTextView, row++, 0, 1, 3);
    grid->setRowStretch(row - 1, 1);
    grid->addWidget(new QLabel(tr("Created"), w), row, 0);
    grid->addWidget(m_createdDateLabel, row++, 1, 1, 2);
    grid->addWidget(new QLabel(tr("Edited"), w), row, 0);
    grid->addWidget(m_editedDateLabel, row++, 1, 1, 2);
    grid->addWidget(new QLabel(tr("Creator"), w), row, 0);
    grid->addWidget(m_creatorLabel, row++, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    w->setMinimumWidth(300);
    return w;
}

void MyDrawerController::setDrawerShown(bool shown)
{
    m_drawerShown = shown;
    const int quadrant = m_document ? m_document->selectedQuadrant() : -1;
    if (shown && !m_presenter->item() && quadrant >= 0 && quadrant <= 3)
        m_presenter->openAndEditSelection(m_document->controllerForQuadrant(quadrant), true);
    setVisible(shown && m_presenter->item());
}

// --- Following the selection ------------------------------------------------------------------

void MyDrawerController::itemChanged(TODOItem *item, bool takeFocus)
{
    if (!item) {
        unbindController();
        closeIfNeededAfterDelay();
        return;
    }
    m_closeTimer.stop();
    // Enabled first: a binding sets "enabled" only where it differs from what the control reads.
    widget()->setEnabled(true);
    if (m_boundController != m_presenter->arrayController() || m_bindings.isEmpty()) {
        unbindController();
        bindDrawerToArrayController(m_presenter->arrayController());
    }
    paintBackground(item);
    showNotes();
    if (m_drawerShown)
        show();
    if (takeFocus)
        setFirstResponder();
}

void MyDrawerController::closeIfNeededAfterDelay()
{
    widget()->setEnabled(false);
    m_closeTimer.start();
}

// Every control follows the controller's selection through its binding, as listed below.
void MyDrawerController::bindDrawerToArrayController(ArrayController *controller)
{
    m_boundController = controller;
    using Mode = BindingOptions::UpdateMode;
    const auto bind = [this, controller](QObject *target, const char *property, const char *key,
                                         const char *transformer = nullptr, Mode mode = Mode::OnCommit,
                                         const QVariant &nullPlaceholder = {}) {
        BindingOptions options;
        options.valueTransformerName = QString::fromLatin1(transformer);
        options.updateMode = mode;
        options.nullPlaceholder = nullPlaceholder;
        m_bindings << new Binding(target, property, controller, QStringLiteral("selection.") + QLatin1String(key), options, this);
    };
    const Mode continuous = Mode::Continuously;
    bind(m_imageViewButton, "image", "icon", "ImageTransformer");
    bind(m_nameTextField, "text", "name", nullptr, continuous);
    bind(m_completionTextField, "text", "completionPercentage", "PercentageTransformer");
    bind(m_completionCheckBox, "checked", "completionPercentage", "PercentageToStateTransformer");
    // Written by the completion action, which sets the state and dates as well.
    bind(m_completionLevelIndicator, "value", "completionPercentage", "DiscretizeTransformer");
    bind(m_createdDateLabel, "text", "creationDate", "DateToStringTransformer");
    bind(m_creatorLabel, "text", "creatorUsername");
    bind(m_editedDateLabel, "text", "timestamp", "EpochToStringTransformer");
    bind(m_allDayCheckBox, "checked", "allDay", nullptr, continuous);
    bind(m_allDayCheckBox, "enabled", "dueDate", "NSIsNotNil");
    bind(m_hasStartDateCheckBox, "enabled", "dueDate", "NSIsNotNil");
    bind(m_hasStartDateCheckBox, "checked", "startDate", "NSIsNotNil");
    bind(m_datesCheckBox, "checked", "dueDate", "NSIsNotNil");
    bind(m_startDateDatePicker, "dateTime", "startDate", nullptr, continuous, DrawerPresenter::suggestedStartDate());
    bind(m_startDateDatePicker, "editable", "startDate", "NSIsNotNil");
    bind(m_startDateDatePicker, "hasDate", "startDate", "NSIsNotNil");
    bind(m_startDateDatePicker, "textColor", "startDate", "FontColorFromDueDate");
    bind(m_dueDateDatePicker, "dateTime", "dueDate", nullptr, continuous, DrawerPresenter::suggestedDueDate());
    bind(m_dueDateDatePicker, "editable", "dueDate", "NSIsNotNil");
    bind(m_dueDateDatePicker, "hasDate", "dueDate", "NSIsNotNil");
    bind(m_dueDateDatePicker, "textColor", "dueDate", "FontColorFromDueDate");
    bind(m_repeatComboBox, "frequency", "frequency", nullptr, continuous, QStringLiteral("Never"));
    bind(m_repeatComboBox, "enabled", "dueDate", "NSIsNotNil");
    bind(m_untilDateDatePicker, "dateTime", "untilDate", nullptr, continuous, DrawerPresenter::suggestedUntilDate());
    bind(m_untilDateDatePicker, "editable", "frequency", "IsNotNeverOrNilValueTransformer");
    bind(m_untilDateDatePicker, "hasDate", "untilDate", "NSIsNotNil");
    bind(m_completedDateDatePicker, "dateTime", "completionDate", nullptr, continuous, QDateTime::currentDateTime());
    bind(m_completedDateDatePicker, "editable", "completionDate", "NSIsNotNil");
    bind(m_completedDateDatePicker, "hasDate", "completionDate", "NSIsNotNil");
    bind(m_dowStartDate, "text", "startDate", "NSDateToDayOfTheWeekTransformer");
    bind(m_dowDueDate, "text", "dueDate", "NSDateToDayOfTheWeekTransformer");
    bind(m_dowUntilDate, "text", "untilDate", "NSDateToDayOfTheWeekTransformer");
    bind(m_dowCompletionDate, "text", "completionDate", "NSDateToDayOfTheWeekTransformer");
    bind(m_effortComboBox, "currentIndex", "effort", nullptr, continuous, 0);
    bind(m_effortPoints, "text", "effort", "NSNumberToNSString");
}

// Nothing is pending: text and dates are written as they change, the rest by actions.
void MyDrawerController::unbindController()
{
    qDeleteAll(m_bindings);
    m_bindings.clear();
    m_boundController = nullptr;
}

// --- Notes, background, focus ------------------------------------------------------------------------

void MyDrawerController::showNotes()
{
    const TODOItem *item = m_presenter->item();
    const QString html = item ? item->descriptionRichText() : QString();
    if (html == DrawerPresenter::notesHtml(*m_notesTextView->document()))
        return;
    m_showingNotes = true;
    const int position = m_notesTextView->textCursor().position();
    m_notesTextView->setHtml(html);
    QTextCursor cursor = m_notesTextView->textCursor();
    cursor.setPosition(std::min(position, m_notesTextView->document()->characterCount() - 1));
    m_notesTextView->setTextCursor(cursor);
    m_showingNotes = false;
}

void MyDrawerController::notesEdited()
{
    if (!m_showingNotes)
        m_presenter->setNotes(*m_notesTextView->document());
}

// Notes changed elsewhere (an undo, a sync) are shown; the editor's own edits are already there.
void MyDrawerController::storeChanged(const ObjectsChange &change)
{
    TODOItem *item = m_presenter->item();
    if (item && change.updated.contains(item) && item->changedKeysForCurrentEvent().contains(QStringLiteral("descriptionRichText")))
        showNotes();
}

// The drawer takes the colour of the item's quadrant.
void MyDrawerController::paintBackground(const TODOItem *item)
{
    const TODOList *list = item->list();
    const int quadrant = std::clamp(item->quadrant(), 0, 3);
    const QVariant text = list ? list->colorTextForQuadrant(quadrant) : QString();
    const QColor color = ValueTransformer::valueTransformerForName(QStringLiteral("StringToColorTransformer"))
                             ->transformedValue(text)
                             .value<QColor>();
    QPalette colors = m_backgroundView->palette();
    colors.setColor(QPalette::Window, color);
    colors.setColor(QPalette::WindowText, color.lightnessF() < 0.45 ? QColor(Qt::white) : QColor(Qt::black));
    m_backgroundView->setPalette(colors);
}

void MyDrawerController::setFirstResponder()
{
    const TODOItem *item = m_presenter->item();
    if (item && !item->descriptionText().isEmpty())
        m_notesTextView->setFocus();
    else
        m_nameTextField->setFocus();
}

void MyDrawerController::showImagesWindow()
{
    if (m_presenter->item())
        m_iconBrowser->showWindow();
}
