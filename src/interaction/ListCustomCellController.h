#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>

class QLabel;

// A rounded rectangle painted in a quadrant colour text ("{r, g, b, a}");
// nothing when the text is empty or does not read as a colour.
class ColoredView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString backgroundColor READ backgroundColor WRITE setBackgroundColor)
public:
    explicit ColoredView(QWidget *parent = nullptr);
    QString backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QString &colorText);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_backgroundColor;
};

// The overview of one list in the sidebar: four ColoredViews laid out like
// the matrix, each with its item count.
class ListCustomCellController
{
public:
    ListCustomCellController();
    ~ListCustomCellController();

    QWidget *view() const { return m_view; }
    // The colour texts and count labels of quadrants 0 to 3, as the sidebar's model answers them.
    void fillOutCellInfo(const QStringList &colorTexts, const QStringList &countLabels);
    // Places the view over a rectangle of the parent (adding it there first).
    void showViews(QWidget *parent, const QRect &frame);
    void hideViews();

private:
    // Parented to the sidebar's viewport once shown, which may delete it first.
    QPointer<QWidget> m_view;
    std::array<ColoredView *, 4> m_quadrantViews{};
    std::array<QLabel *, 4> m_labels{};
};
