// Ctrl+B's list of bookmarks: time of day, recording, cameras and note of each, with Go to,
// Edit note and Delete. It shows the rows its owner gives it and says which row was acted on;
// the owner changes the store and gives it the rows again. Notes are shown on one line, their
// controls and direction marks by their codes. GUI thread only.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

#include "catalog/bookmark_store.h"

class QTableWidget;

namespace vedra {

struct BookmarkListRow {
    Bookmark mark;
    QString recording;      // the path of the recording it belongs to, as it is now
    QString when;           // its time of day, or its offset when the recording has no date
    uint64_t timeOfDay = 0; // FILETIME of the instant; 0 when the recording has no date
};

class BookmarkListWindow : public QDialog {
    Q_OBJECT

public:
    explicit BookmarkListWindow(QWidget* owner);

    void SetRows(std::vector<BookmarkListRow> rows);
    const std::vector<BookmarkListRow>& rows() const { return rows_; }
    QTableWidget* table() const { return table_; }
    // The text a row shows in a column (0 time, 1 recording, 2 cameras, 3 note).
    QString CellText(int row, int column) const;

    // What the buttons do with the selected row; Go to closes the list first.
    std::function<void(const BookmarkListRow&)> onJump, onEdit, onDelete;
    void Jump(int row);
    void Edit(int row);
    void Delete(int row);

private:
    int SelectedRow() const;
    QTableWidget* table_;
    std::vector<BookmarkListRow> rows_;
};

} // namespace vedra
