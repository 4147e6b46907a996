#pragma once
#include <QList>
#include <QStringList>
#include <QTableWidget>

class QLabel;

// A grid of text cells addressed as (column, row) with fixed header rows and
// columns counted in: row 0 is the header row, and with one fixed column,
// column 0 holds the row captions. The header row is drawn as the table's
// horizontal header and a fixed column as its vertical header, so both stay in
// place while the cells scroll. Whole rows are selected.
class TStringGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit TStringGrid(QWidget *parent = nullptr);

    int RowCount() const { return m_rows.size(); }
    void SetRowCount(int rows);
    int ColCount() const { return m_cols; }
    void SetColCount(int cols);
    int FixedRows() const { return 1; }
    int FixedCols() const { return m_fixedCols; }
    void SetFixedCols(int cols); // 0 or 1

    QString Cells(int col, int row) const;
    void SetCell(int col, int row, const QString &text);
    // Empties every cell of the row.
    void ClearRow(int row);

    void SetColWidth(int col, int width);
    int ColWidth(int col) const;
    void SetDefaultRowHeight(int height);
    int DefaultRowHeight() const { return m_rowHeight; }
    int GridLineWidth() const { return 1; }

    // The selected row (1 or more), or -1 when none.
    int Row() const;
    // Selects the row (a data row) and makes it current; -1 clears the selection.
    void SelectRow(int row);

    // The grid row and column at a point of the viewport; -1 outside the cells.
    int RowAt(const QPoint &viewportPos) const;

    // While suspended, changes are not drawn (nesting counts).
    void BeginUpdate();
    void EndUpdate();

signals:
    // The user made a cell current (grid coordinates).
    void SelectCell(int col, int row);
    // The user double-clicked a data cell (grid coordinates).
    void DblClickCell(int col, int row);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void rebuild();
    void updateCell(int col, int row);
    void placeCorner();

    QList<QStringList> m_rows; // m_rows[row][col], header row included
    int m_cols = 1;
    int m_fixedCols = 0;
    QList<int> m_widths;
    int m_rowHeight = 20;
    int m_updateDepth = 0;
    bool m_rebuilding = false;
    QLabel *m_corner = nullptr;
};
