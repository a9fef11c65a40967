#include "IconBrowser.h"

#include "DrawerPresenter.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// "blue_drop128.png" is shown as "blue drop".
QString displayName(const QString &file)
{
    QString name = file;
    name.chop(int(qstrlen("128.png")));
    return name.replace(QLatin1Char('_'), QLatin1Char(' '));
}

} // namespace

IconBrowser::IconBrowser(QWidget *parent)
    : QDialog(parent)
    , m_filter(new QLineEdit(this))
    , m_grid(new QListWidget(this))
{
    setObjectName(QStringLiteral("iconBrowser"));
    setWindowTitle(tr("Icons"));
    setWindowModality(Qt::WindowModal);

    m_filter->setPlaceholderText(tr("Filter by name"));
    m_filter->setClearButtonEnabled(true);
    m_grid->setViewMode(QListView::IconMode);
    m_grid->setIconSize(QSize(44, 44));
    m_grid->setGridSize(QSize(100, 84));
    m_grid->setWordWrap(true);
    m_grid->setResizeMode(QListView::Adjust);
    m_grid->setMovement(QListView::Static);
    m_grid->setUniformItemSizes(true);
    for (const QString &file : DrawerPresenter::iconNames()) {
        auto *entry = new QListWidgetItem(QIcon(QStringLiteral("icons:44") + file), displayName(file), m_grid);
        entry->setData(Qt::UserRole, file);
        entry->setToolTip(file);
    }

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton *chooseButton = buttons->addButton(tr("Choose"), QDialogButtonBox::AcceptRole);
    chooseButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &IconBrowser::choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_grid, &QListWidget::itemActivated, this, &IconBrowser::choose);
    connect(m_filter, &QLineEdit::textChanged, this, &IconBrowser::applyFilter);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_filter);
    layout->addWidget(m_grid, 1);
    layout->addWidget(buttons);
    resize(460, 400);
}

QStringList IconBrowser::shownIcons() const
{
    QStringList names;
    for (int row = 0; row < m_grid->count(); ++row) {
        if (!m_grid->item(row)->isHidden())
            names << m_grid->item(row)->data(Qt::UserRole).toString();
    }
    return names;
}

void IconBrowser::showWindow()
{
    m_selectedImage.clear();
    m_filter->clear();
    m_filter->setFocus();
    open();
}

// Every word of the filter must be part of the shown name; the first icon left is current.
void IconBrowser::applyFilter(const QString &text)
{
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QListWidgetItem *first = nullptr;
    for (int row = 0; row < m_grid->count(); ++row) {
        QListWidgetItem *entry = m_grid->item(row);
        const QString name = entry->text();
        const bool shown = std::all_of(words.begin(), words.end(),
                                       [&name](const QString &word) { return name.contains(word, Qt::CaseInsensitive); });
        entry->setHidden(!shown);
        if (shown && !first)
            first = entry;
    }
    m_grid->setCurrentItem(first);
}

void IconBrowser::choose()
{
    const QListWidgetItem *entry = m_grid->currentItem();
    if (!entry || entry->isHidden())
        return;
    m_selectedImage = entry->data(Qt::UserRole).toString();
    emit selectedImageChanged(m_selectedImage);
    accept();
}
