#include "UndeleteViewController.h"

#include "UndeleteModel.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

UndeleteViewController::UndeleteViewController(MyDocument *document, QWidget *parent)
    : QDialog(parent)
    , m_model(new UndeleteModel(document, this))
    , m_table(new QListView(this))
{
    setObjectName(QStringLiteral("undeleteSheet"));
    setWindowTitle(tr("Undelete Items"));

    m_table->setObjectName(QStringLiteral("undeleteTable"));
    m_table->setModel(m_model);
    // A click flips a row's mark; the table never keeps a selection.
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(m_table, &QListView::clicked, m_model, [this](const QModelIndex &index) { m_model->toggleMark(index.row()); });
    // Space flips the row the arrow keys are on.
    new QShortcut(QKeySequence(Qt::Key_Space), m_table, [this] { m_model->toggleMark(m_table->currentIndex().row()); },
                  Qt::WidgetShortcut);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *undelete = buttons->addButton(tr("Undelete"), QDialogButtonBox::AcceptRole);
    undelete->setObjectName(QStringLiteral("undeleteButton"));
    undelete->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Click the items to bring back:"), this));
    layout->addWidget(m_table, 1);
    layout->addWidget(buttons);
    resize(360, 320);
}

void UndeleteViewController::open()
{
    m_model->loadUndeleteCandidates();
    QDialog::open();
}

void UndeleteViewController::done(int result)
{
    if (result == QDialog::Accepted)
        m_model->undeleteMarked();
    else
        m_model->clearUndeleteCandidates();
    QDialog::done(result);
}
