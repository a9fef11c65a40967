#include "QuadrantPane.h"

#include "ArrayController.h"
#include "Binding.h"
#include "ColorTheme.h"
#include "DocumentPresenter.h"
#include "MyDocument.h"
#include "QuadrantView.h"

#include <QColorDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char *const kColorKeys[4] = {"colorFirstQuadrant", "colorSecondQuadrant", "colorThirdQuadrant",
                                   "colorFourthQuadrant"};
const char *const kTitleKeys[4] = {"textFirstQuadrant", "textSecondQuadrant", "textThirdQuadrant",
                                   "textFourthQuadrant"};

QIcon swatch(const QColor &color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::darkGray, 1));
    painter.setBrush(color);
    painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    return QIcon(pixmap);
}

QToolButton *headerButton(QWidget *parent, const QString &toolTip)
{
    auto *button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setToolTip(toolTip);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

QuadrantPane::QuadrantPane(DocumentPresenter *presenter, int quadrant, QWidget *parent)
    : QFrame(parent)
    , m_presenter(presenter)
    , m_quadrant(quadrant)
{
    MyDocument *document = presenter->document();
    setObjectName(QStringLiteral("quadrantPane%1").arg(quadrant));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);

    m_nameTextField = new QLineEdit(this);
    m_nameTextField->setObjectName(QStringLiteral("quadrantName%1").arg(quadrant));
    m_nameTextField->setFrame(false);
    m_nameTextField->setPlaceholderText(tr("Quadrant %1").arg(quadrant + 1));
    QFont bold = m_nameTextField->font();
    bold.setBold(true);
    m_nameTextField->setFont(bold);
    connect(m_nameTextField, &QLineEdit::textEdited, this, &QuadrantPane::quadrantNameEdited);

    m_colorWell = headerButton(this, tr("Quadrant colour"));
    connect(m_colorWell, &QToolButton::clicked, this, &QuadrantPane::chooseColor);

    QToolButton *add = headerButton(this, tr("Add an item to this quadrant"));
    add->setIcon(QIcon(QStringLiteral("icons:plus.png")));
    connect(add, &QToolButton::clicked, document, [document, quadrant] { document->addTODOItemToQuadrant(quadrant); });

    QToolButton *enlarge = headerButton(this, tr("Enlarge this quadrant"));
    enlarge->setIcon(style()->standardIcon(QStyle::SP_TitleBarMaxButton));
    connect(enlarge, &QToolButton::clicked, document, [document, quadrant] { document->maximizeQuadrant(quadrant); });

    m_view = new QuadrantView(presenter->quadrantModel(quadrant), document, this);
    m_view->setFrameShape(QFrame::NoFrame);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(6, 2, 2, 2);
    header->setSpacing(2);
    header->addWidget(m_nameTextField, 1);
    header->addWidget(m_colorWell);
    header->addWidget(add);
    header->addWidget(enlarge);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addLayout(header);
    layout->addWidget(m_view, 1);

    // The selected list's colour and title of this quadrant.
    ArrayController *lists = document->controllerForQuadrant(-1);
    BindingOptions colorOptions;
    colorOptions.valueTransformerName = QStringLiteral("StringToColorTransformer");
    colorOptions.noSelectionPlaceholder = QColor(Qt::white);
    new Binding(this, "backgroundColor", lists, QStringLiteral("selection.") + kColorKeys[quadrant], colorOptions, this);
    auto *nameBinding =
        new Binding(this, "quadrantName", lists, QStringLiteral("selection.") + kTitleKeys[quadrant], {}, this);
    connect(m_nameTextField, &QLineEdit::editingFinished, nameBinding, &Binding::commit);
    m_nameTextField->setEnabled(document->projects().selectedList() != nullptr);
    connect(&document->projects(), &ProjectListController::selectedProjectChanged, this, [this, document] {
        m_nameTextField->setEnabled(document->projects().selectedList() != nullptr);
    });
}

QuadrantPane::~QuadrantPane() = default;

QString QuadrantPane::quadrantName() const
{
    return m_nameTextField->text();
}

void QuadrantPane::setQuadrantName(const QString &name)
{
    if (m_nameTextField->text() != name)
        m_nameTextField->setText(name);
}

// The quadrant, its title line and its well take the colour; text stays
// readable on dark colours.
void QuadrantPane::setBackgroundColor(const QColor &color)
{
    m_background = color;
    QPalette colors = palette();
    const QColor text = color.lightnessF() < 0.45 ? QColor(Qt::white) : QColor(Qt::black);
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::AlternateBase})
        colors.setColor(role, color);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text})
        colors.setColor(role, text);
    setPalette(colors);
    m_view->setPalette(colors);
    m_nameTextField->setPalette(colors);
    m_colorWell->setIcon(swatch(color));
}

void QuadrantPane::chooseColor()
{
    auto *dialog = new QColorDialog(m_background, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QColorDialog::ShowAlphaChannel);
    dialog->setWindowTitle(tr("Quadrant Colour"));
    connect(dialog, &QColorDialog::colorSelected, this, [this](const QColor &color) {
        if (m_presenter)
            m_presenter->colorThemes()->changeColor(m_quadrant, color);
    });
    dialog->open();
}
