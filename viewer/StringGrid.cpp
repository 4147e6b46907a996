#include "viewer/StringGrid.h"

#include <QHeaderView>
#include <QLabel>
#include <QSignalBlocker>

TStringGrid::TStringGrid(QWidget *parent) : QTableWidget(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setMinimumSectionSize(4);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    verticalHeader()->setHighlightSections(false);
    verticalHeader()->setMinimumSectionSize(4);
    verticalHeader()->hide();

    m_corner = new QLabel(this);
    m_corner->setObjectName(QStringLiteral("GridCorner"));
    m_corner->setIndent(4);
    m_corner->hide();

    m_rows = {QStringList(m_cols), QStringList(m_cols)};
    m_widths = QList<int>(m_cols, 64);
    rebuild();

    connect(this, &QTableWidget::currentCellChanged, this, [this](int row, int col, int, int) {
        if (!m_rebuilding && row >= 0)
            emit SelectCell(col + m_fixedCols, row + 1);
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid())
            emit DblClickCell(index.column() + m_fixedCols, index.row() + 1);
    });
    connect(verticalHeader(), &QHeaderView::sectionDoubleClicked, this,
            [this](int section) { emit DblClickCell(0, section + 1); });
}

void TStringGrid::SetRowCount(int rows) {
    rows = qMax(rows, 1);
    const int old = m_rows.size();
    if (rows == old)
        return;
    while (m_rows.size() > rows)
        m_rows.removeLast();
    while (m_rows.size() < rows)
        m_rows << QStringList(m_cols);
    // Only the rows added or removed change.
    m_rebuilding = true;
    {
        const QSignalBlocker quiet(this);
        setRowCount(rows - 1);
        for (int r = qMax(old, 1); r < rows; ++r) {
            setRowHeight(r - 1, m_rowHeight);
            for (int c = 0; c < m_cols; ++c)
                updateCell(c, r);
        }
    }
    m_rebuilding = false;
}

void TStringGrid::SetColCount(int cols) {
    cols = qMax(cols, 1);
    if (cols == m_cols)
        return;
    m_cols = cols;
    for (QStringList &r : m_rows) {
        while (r.size() > cols)
            r.removeLast();
        while (r.size() < cols)
            r << QString();
    }
    while (m_widths.size() > cols)
        m_widths.removeLast();
    while (m_widths.size() < cols)
        m_widths << 64;
    rebuild();
}

void TStringGrid::SetFixedCols(int cols) {
    cols = qBound(0, cols, 1);
    if (cols == m_fixedCols)
        return;
    m_fixedCols = cols;
    rebuild();
}

QString TStringGrid::Cells(int col, int row) const {
    if (row < 0 || row >= m_rows.size() || col < 0 || col >= m_cols)
        return QString();
    return m_rows.at(row).at(col);
}

void TStringGrid::SetCell(int col, int row, const QString &text) {
    if (row < 0 || row >= m_rows.size() || col < 0 || col >= m_cols)
        return;
    m_rows[row][col] = text;
    updateCell(col, row);
}

void TStringGrid::ClearRow(int row) {
    for (int c = 0; c < m_cols; ++c)
        SetCell(c, row, QString());
}

void TStringGrid::SetColWidth(int col, int width) {
    if (col < 0 || col >= m_cols)
        return;
    m_widths[col] = width;
    if (col < m_fixedCols) {
        verticalHeader()->setFixedWidth(width);
        placeCorner();
    } else {
        setColumnWidth(col - m_fixedCols, width);
    }
}

int TStringGrid::ColWidth(int col) const {
    return m_widths.value(col);
}

void TStringGrid::SetDefaultRowHeight(int height) {
    m_rowHeight = height;
    verticalHeader()->setDefaultSectionSize(height);
    for (int r = 0; r < rowCount(); ++r)
        setRowHeight(r, height);
    horizontalHeader()->setFixedHeight(height);
    placeCorner();
}

int TStringGrid::Row() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row() + 1;
}

void TStringGrid::SelectRow(int row) {
    const QSignalBlocker quiet(this);
    m_rebuilding = true;
    if (row >= 1 && row < m_rows.size()) {
        setCurrentCell(row - 1, 0);
        selectRow(row - 1);
    } else {
        clearSelection();
        setCurrentIndex(QModelIndex());
    }
    m_rebuilding = false;
    viewport()->update();
}

int TStringGrid::RowAt(const QPoint &viewportPos) const {
    const int r = rowAt(viewportPos.y());
    return r < 0 ? -1 : r + 1;
}

void TStringGrid::BeginUpdate() {
    if (m_updateDepth++ == 0)
        setUpdatesEnabled(false);
}

void TStringGrid::EndUpdate() {
    if (m_updateDepth > 0 && --m_updateDepth == 0) {
        setUpdatesEnabled(true);
        viewport()->update();
    }
}

void TStringGrid::resizeEvent(QResizeEvent *event) {
    QTableWidget::resizeEvent(event);
    placeCorner();
}

void TStringGrid::rebuild() {
    m_rebuilding = true;
    {
        const QSignalBlocker quiet(this);
        const int dataCols = qMax(m_cols - m_fixedCols, 0);
        setColumnCount(dataCols);
        setRowCount(m_rows.size() - 1);
        verticalHeader()->setVisible(m_fixedCols > 0);
        for (int c = 0; c < m_cols; ++c)
            SetColWidth(c, m_widths.at(c));
        for (int r = 0; r < m_rows.size(); ++r) {
            if (r >= 1)
                setRowHeight(r - 1, m_rowHeight);
            for (int c = 0; c < m_cols; ++c)
                updateCell(c, r);
        }
    }
    m_rebuilding = false;
    placeCorner();
}

void TStringGrid::updateCell(int col, int row) {
    const QString &text = m_rows.at(row).at(col);
    if (row == 0 && col < m_fixedCols) {
        m_corner->setText(text);
        return;
    }
    if (row == 0) {
        QTableWidgetItem *h = horizontalHeaderItem(col - m_fixedCols);
        if (!h) {
            h = new QTableWidgetItem;
            setHorizontalHeaderItem(col - m_fixedCols, h);
        }
        h->setText(text);
        return;
    }
    if (col < m_fixedCols) {
        QTableWidgetItem *v = verticalHeaderItem(row - 1);
        if (!v) {
            v = new QTableWidgetItem;
            setVerticalHeaderItem(row - 1, v);
        }
        v->setText(text);
        return;
    }
    QTableWidgetItem *it = item(row - 1, col - m_fixedCols);
    if (!it) {
        if (text.isEmpty())
            return;
        it = new QTableWidgetItem;
        setItem(row - 1, col - m_fixedCols, it);
    }
    it->setText(text);
}

void TStringGrid::placeCorner() {
    if (!m_corner)
        return;
    if (m_fixedCols == 0) {
        m_corner->hide();
        return;
    }
    const int w = verticalHeader()->width();
    const int h = horizontalHeader()->height();
    m_corner->setGeometry(frameWidth(), frameWidth(), w, h);
    m_corner->show();
    m_corner->raise();
}
