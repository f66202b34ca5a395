#include "value_pages.h"

#include "common/support/gbk.h"
#include "report_list.h"

#include <QItemSelectionModel>
#include <cstring>

namespace lanpanel::ui {

namespace {
QString Field(const char* field) {
    return support::FieldText(field, kTextField);
}
QString RowNumber(int i) {
    return QString::asprintf("%02d", i + 1);
}
} // namespace

SignalsPage::SignalsPage(SharedState& shared, SoundFn sound, QWidget* parent)
    : LanPage(shared, parent), sound_(std::move(sound)),
      list_(new ReportList({QStringLiteral("点号"), QStringLiteral("名称"), QStringLiteral("状态"),
                            QStringLiteral("时间"), QStringLiteral("类型"), QStringLiteral("备注")},
                           {9, 3, 5, 7, 8, 8}, this)) {
    Reload();
}

void SignalsPage::resizeEvent(QResizeEvent*) {
    list_->setGeometry(rect());
}

void SignalsPage::Reload() {
    list_->setRowCount(0);
    if (const DeviceTemplate* tpl = Selected()) {
        for (int i = 0; i < tpl->DigitalCount; ++i) {
            const int row = list_->AppendRow();
            list_->SetText(row, 0, RowNumber(i));
            list_->SetText(row, 1, Field(tpl->Digital[i].Name));
        }
    }
    std::memset(stateCache_.data(), 0x02, sizeof stateCache_);
}

void SignalsPage::Update() {
    const DeviceTemplate* tpl = Selected();
    if (!tpl)
        return;
    for (int i = 0; i < tpl->DigitalCount && i < list_->rowCount(); ++i) {
        const auto state = static_cast<std::uint32_t>(tpl->Digital[i].State);
        if (stateCache_[static_cast<std::size_t>(i)] == state)
            continue;
        stateCache_[static_cast<std::size_t>(i)] = state;
        list_->selectionModel()->select(list_->model()->index(i, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        list_->SetText(i, 2, state != 0 ? QStringLiteral("合") : QStringLiteral("分"));
        if (sound_)
            sound_(QStringLiteral("IDR_WAVE_YX"));
    }
}

ProtectionPage::ProtectionPage(SharedState& shared, QWidget* parent)
    : LanPage(shared, parent),
      list_(new ReportList({QStringLiteral("点号"), QStringLiteral("名称"), QStringLiteral("数值"),
                            QStringLiteral("相位"), QStringLiteral("量纲"), QStringLiteral("备注")},
                           {9, 3, 5, 7, 8, 8}, this)) {
    Reload();
}

void ProtectionPage::resizeEvent(QResizeEvent*) {
    list_->setGeometry(rect());
}

void ProtectionPage::Reload() {
    list_->setRowCount(0);
    const DeviceTemplate* tpl = Selected();
    if (!tpl)
        return;
    for (int i = 0; i < tpl->ProtectionCount; ++i) {
        const ProtectionPoint& p = tpl->Protection[i];
        const int row = list_->AppendRow();
        list_->SetText(row, 0, RowNumber(i));
        list_->SetText(row, 1, Field(p.Name));
        list_->SetText(row, 2, QString::asprintf("%.4f", static_cast<double>(p.Value)));
        list_->SetText(row, 4, Field(p.Unit));
        list_->SetText(row, 5, QString::asprintf("%.4f", static_cast<double>(p.Factor)));
    }
}

void ProtectionPage::Update() {
    const DeviceTemplate* tpl = Selected();
    if (!tpl)
        return;
    for (int i = 0; i < tpl->ProtectionCount && i < list_->rowCount(); ++i)
        list_->SetText(i, 2,
                       QString::asprintf("%.4f", static_cast<double>(tpl->Protection[i].Value)));
}

} // namespace lanpanel::ui
