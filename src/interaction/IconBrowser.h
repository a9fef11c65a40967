#pragma once

#include <QDialog>

class QLineEdit;
class QListWidget;

// The icon set in a grid, narrowed by a filter on the icons' names. Choosing
// an icon (double click, Return or the Choose button) sets `selectedImage`,
// the icon's file name, and closes the dialog.
class IconBrowser : public QDialog
{
    Q_OBJECT
    Q_PROPERTY(QString selectedImage READ selectedImage NOTIFY selectedImageChanged)
public:
    explicit IconBrowser(QWidget *parent = nullptr);

    QString selectedImage() const { return m_selectedImage; }
    QLineEdit *filterField() const { return m_filter; }
    QListWidget *grid() const { return m_grid; }
    // The names of the icons the filter lets through, in grid order.
    QStringList shownIcons() const;

    // Opens window-modal over its parent with nothing chosen yet.
    void showWindow();

signals:
    void selectedImageChanged(const QString &name);

private:
    void applyFilter(const QString &text);
    void choose();

    QLineEdit *m_filter;
    QListWidget *m_grid;
    QString m_selectedImage;
};
