#pragma once
// The report-style list of the value pages: grid lines, whole rows selected, headings that can
// be dragged, column widths as fractions of the list's width when it first has one.

#include <QStringList>
#include <QTableWidget>
#include <vector>

namespace lanpanel::ui {

class ReportList : public QTableWidget {
    Q_OBJECT
public:
    // `divisors`: column k is (client width / divisors[k]) pixels wide.
    ReportList(const QStringList& headings, std::vector<int> divisors, QWidget* parent);

    // Text of a cell, empty when the cell was never written.
    QString Text(int row, int column) const;
    void SetText(int row, int column, const QString& text);
    // Adds a row whose cells are all empty.
    int AppendRow();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::vector<int> divisors_;
    bool widthsSet_ = false;
};

} // namespace lanpanel::ui
