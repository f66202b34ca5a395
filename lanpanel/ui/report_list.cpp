#include "report_list.h"

#include <QHeaderView>
#include <QResizeEvent>

namespace lanpanel::ui {

ReportList::ReportList(const QStringList& headings, std::vector<int> divisors, QWidget* parent)
    : QTableWidget(0, static_cast<int>(headings.size()), parent), divisors_(std::move(divisors)) {
    setHorizontalHeaderLabels(headings);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
}

QString ReportList::Text(int row, int column) const {
    const QTableWidgetItem* it = item(row, column);
    return it ? it->text() : QString();
}

void ReportList::SetText(int row, int column, const QString& text) {
    QTableWidgetItem* it = item(row, column);
    if (!it) {
        setItem(row, column, new QTableWidgetItem(text));
        return;
    }
    if (it->text() != text)
        it->setText(text);
}

int ReportList::AppendRow() {
    const int row = rowCount();
    insertRow(row);
    return row;
}

void ReportList::resizeEvent(QResizeEvent* event) {
    QTableWidget::resizeEvent(event);
    // The widths are set once, from the first real width; after that they are the user's.
    const int w = viewport()->width();
    if (widthsSet_ || w < 50)
        return;
    widthsSet_ = true;
    for (int c = 0; c < columnCount() && c < static_cast<int>(divisors_.size()); ++c)
        setColumnWidth(c, w / divisors_[static_cast<std::size_t>(c)]);
}

} // namespace lanpanel::ui
