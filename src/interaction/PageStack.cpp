#include "PageStack.h"

#include <QGraphicsOpacityEffect>
#include <QPointer>
#include <QPropertyAnimation>
#include <QTimer>

void PageStack::flipTo(QWidget *page)
{
    if (currentWidget() == page)
        return;
    setCurrentWidget(page);

    auto *effect = new QGraphicsOpacityEffect(page);
    effect->setOpacity(0);
    page->setGraphicsEffect(effect); // replaces (and deletes) a fade still running
    auto *fade = new QPropertyAnimation(effect, "opacity");
    fade->setDuration(FadeMilliseconds);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    // The effect goes once the page is whole again: it would slow every later
    // paint. It is removed on the next turn, not while the animation reports.
    connect(fade, &QPropertyAnimation::finished, effect, [page, effect = QPointer(effect)] {
        QTimer::singleShot(0, page, [page, effect] {
            if (effect && page->graphicsEffect() == effect)
                page->setGraphicsEffect(nullptr);
        });
    });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}
