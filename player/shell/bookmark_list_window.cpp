#include "shell/bookmark_list_window.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <utility>

#include "catalog/bookmark_note.h"

namespace vedra {

BookmarkListWindow::BookmarkListWindow(QWidget* owner) : QDialog(owner), table_(new QTableWidget(0, 4, this))
{
    setWindowTitle(QStringLiteral("Bookmarks"));
    resize(720, 320);
    table_->setObjectName(QStringLiteral("bookmarks"));
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("Time"), QStringLiteral("Recording"), QStringLiteral("Cameras"), QStringLiteral("Note")});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { Jump(row); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* jump = buttons->addButton(QStringLiteral("Go to"), QDialogButtonBox::ActionRole);
    QPushButton* edit = buttons->addButton(QStringLiteral("Edit note..."), QDialogButtonBox::ActionRole);
    QPushButton* remove = buttons->addButton(QStringLiteral("Delete"), QDialogButtonBox::ActionRole);
    connect(jump, &QPushButton::clicked, this, [this] { Jump(SelectedRow()); });
    connect(edit, &QPushButton::clicked, this, [this] { Edit(SelectedRow()); });
    connect(remove, &QPushButton::clicked, this, [this] { Delete(SelectedRow()); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(buttons);
}

QString BookmarkListWindow::CellText(int row, int column) const
{
    const BookmarkListRow& r = rows_[row];
    switch (column) {
    case 0: return r.when;
    case 1: return QFileInfo(r.recording).fileName();
    case 2: return QString::fromStdString(BookmarkChannelsText(r.mark.channels));
    default: return QString::fromStdString(BookmarkNoteLine(r.mark.note));
    }
}

void BookmarkListWindow::SetRows(std::vector<BookmarkListRow> rows)
{
    const int selected = SelectedRow();
    rows_ = std::move(rows);
    table_->setRowCount(static_cast<int>(rows_.size()));
    for (int row = 0; row < table_->rowCount(); ++row)
        for (int column = 0; column < 4; ++column) {
            auto* item = new QTableWidgetItem(CellText(row, column));
            if (column == 1)
                item->setToolTip(rows_[row].recording);
            table_->setItem(row, column, item);
        }
    table_->resizeColumnsToContents();
    if (!rows_.empty())
        table_->selectRow(std::clamp(selected, 0, table_->rowCount() - 1));
}

int BookmarkListWindow::SelectedRow() const
{
    const QList<QTableWidgetItem*> items = table_->selectedItems();
    return items.isEmpty() ? -1 : items.front()->row();
}

void BookmarkListWindow::Jump(int row)
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    const BookmarkListRow chosen = rows_[row];
    accept();
    if (onJump)
        onJump(chosen);
}

void BookmarkListWindow::Edit(int row)
{
    if (row >= 0 && row < static_cast<int>(rows_.size()) && onEdit)
        onEdit(BookmarkListRow(rows_[row]));
}

void BookmarkListWindow::Delete(int row)
{
    if (row >= 0 && row < static_cast<int>(rows_.size()) && onDelete)
        onDelete(BookmarkListRow(rows_[row]));
}

} // namespace vedra
