#include "ListCustomCellController.h"

#include "ColorText.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr qreal kCornerRadius = 6.0;
constexpr int kSpacing = 2;

} // namespace

ColoredView::ColoredView(QWidget *parent)
    : QWidget(parent)
{
}

void ColoredView::setBackgroundColor(const QString &colorText)
{
    if (colorText == m_backgroundColor)
        return;
    m_backgroundColor = colorText;
    update();
}

void ColoredView::paintEvent(QPaintEvent *)
{
    const QColor color = ColorText::colorWithString(m_backgroundColor);
    if (!color.isValid())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.fillPath(path, color);
}

ListCustomCellController::ListCustomCellController()
    : m_view(new QWidget)
{
    // Clicks and drags on the overview belong to the sidebar row under it.
    m_view->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *grid = new QGridLayout(m_view);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(kSpacing);
    for (int q = 0; q < 4; ++q) {
        auto *quadrant = new ColoredView(m_view);
        auto *label = new QLabel(quadrant);
        label->setAlignment(Qt::AlignCenter);
        // The quadrant colours are light whatever the desktop's palette.
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(palette);
        QFont font = label->font();
        font.setPixelSize(10);
        label->setFont(font);
        auto *centred = new QGridLayout(quadrant);
        centred->setContentsMargins(0, 0, 0, 0);
        centred->addWidget(label);
        grid->addWidget(quadrant, q / 2, q % 2);
        m_quadrantViews[q] = quadrant;
        m_labels[q] = label;
    }
}

ListCustomCellController::~ListCustomCellController()
{
    delete m_view;
}

void ListCustomCellController::fillOutCellInfo(const QStringList &colorTexts, const QStringList &countLabels)
{
    if (!m_view)
        return;
    for (int q = 0; q < 4; ++q) {
        m_quadrantViews[q]->setBackgroundColor(colorTexts.value(q));
        m_labels[q]->setText(countLabels.value(q));
    }
}

void ListCustomCellController::showViews(QWidget *parent, const QRect &frame)
{
    if (!m_view)
        return;
    if (m_view->parentWidget() != parent)
        m_view->setParent(parent);
    m_view->setGeometry(frame);
    m_view->show();
}

void ListCustomCellController::hideViews()
{
    if (m_view)
        m_view->hide();
}
