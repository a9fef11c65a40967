#pragma once

#include <QStackedWidget>

// Pages that replace each other in the window (the matrix and the master
// list). The new page shows at once and fades in over a moment, in place of
// the window flip some desktops have and Linux desktops do not.
class PageStack : public QStackedWidget
{
    Q_OBJECT
public:
    static constexpr int FadeMilliseconds = 200;

    using QStackedWidget::QStackedWidget;

    // Makes the page current, fading it in; the current page stays as it is.
    void flipTo(QWidget *page);
};
