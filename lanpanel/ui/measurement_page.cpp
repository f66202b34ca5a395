#include "measurement_page.h"

#include "common/support/gbk.h"
#include "common/widgets/flat_button.h"
#include "lan_resources.h"
#include "prompter.h"
#include "report_list.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace lanpanel::ui {

namespace {
const QColor kIdleBackground(244, 244, 244);
constexpr int kStripHeight = 80;

QString Field(const char* field) {
    return support::FieldText(field, kTextField);
}

widgets::FlatButton* IconButton(const QString& icon, const QString& tip, QWidget* parent) {
    auto* b = new widgets::FlatButton(parent);
    b->SetIcon(LanIcon(icon));
    b->setIconSize(QSize(28, 28));
    b->setFixedSize(36, 36);
    b->SetTooltipText(tip);
    b->SetColor(widgets::FlatButton::BackIdle, kIdleBackground);
    b->SetColor(widgets::FlatButton::BackHover, QColor(214, 228, 248));
    return b;
}
} // namespace

MeasurementPage::MeasurementPage(SharedState& shared, Prompter& prompter, QWidget* parent)
    : LanPage(shared, parent), prompter_(prompter), strip_(new QWidget(this)),
      list_(
          new ReportList({QStringLiteral("点号"), QStringLiteral("名称"), QStringLiteral("测得值"),
                          QStringLiteral("参考值"), QStringLiteral("误差率"),
                          QStringLiteral("系数(CC2)"), QStringLiteral("类型")},
                         {9, 6, 6, 6, 6, 6, 6}, this)),
      currentList_(new QComboBox(strip_)), voltageList_(new QComboBox(strip_)),
      errorList_(new QComboBox(strip_)) {
    auto* row = new QHBoxLayout(strip_);
    row->setContentsMargins(6, 4, 6, 4);
    row->setSpacing(14);

    // 阶段控制： the seven stage buttons under their numbers
    auto* stages = new QGridLayout;
    stages->setHorizontalSpacing(2);
    stages->setVerticalSpacing(0);
    stages->addWidget(new QLabel(QStringLiteral("阶段控制："), strip_), 1, 0);
    for (int k = 1; k <= kStages; ++k) {
        auto* number = new QLabel(QString::number(k), strip_);
        number->setAlignment(Qt::AlignCenter);
        stages->addWidget(number, 0, k);
        auto* b =
            IconButton(kIconStageOpen, QStringLiteral("点击保存本阶段值并测试下一阶段"), strip_);
        stageButtons_[static_cast<std::size_t>(k - 1)] = b;
        stages->addWidget(b, 1, k);
        connect(b, &QPushButton::clicked, this, [this, k] { StageButtonClicked(k); });
    }
    row->addLayout(stages);

    auto* lists = new QGridLayout;
    lists->setVerticalSpacing(2);
    lists->addWidget(new QLabel(QStringLiteral("参考电流："), strip_), 0, 0);
    lists->addWidget(currentList_, 0, 1);
    lists->addWidget(new QLabel(QStringLiteral("参考电压："), strip_), 1, 0);
    lists->addWidget(voltageList_, 1, 1);
    lists->addWidget(new QLabel(QStringLiteral("选择误差："), strip_), 2, 0);
    lists->addWidget(errorList_, 2, 1);
    row->addLayout(lists);

    auto* output = new QGridLayout;
    output->setVerticalSpacing(2);
    printButton_ = IconButton(kIconPrint, QStringLiteral("打印文档"), strip_);
    saveButton_ = IconButton(kIconSaveXls, QStringLiteral("保存为文档"), strip_);
    output->addWidget(new QLabel(QStringLiteral("确认各阶段测试完成后，请点击打印："), strip_), 0,
                      0);
    output->addWidget(printButton_, 0, 1);
    output->addWidget(new QLabel(QStringLiteral("或点此保存为xls文档："), strip_), 1, 0,
                      Qt::AlignRight);
    output->addWidget(saveButton_, 1, 1);
    row->addLayout(output);
    row->addStretch(1);
    connect(printButton_, &QPushButton::clicked, this, &MeasurementPage::NotYetAvailable);
    connect(saveButton_, &QPushButton::clicked, this, &MeasurementPage::NotYetAvailable);

    Reload();
    currentList_->addItems({"0.3", "0.8", "1.5", "2.5", "3.5", "4.5", "5.5"});
    voltageList_->addItems({"3", "8", "15", "25", "35", "45", "57"});
    errorList_->addItems({"1.0%", "2.0%", "3.0%", "4.0%", "5.0%", "6.0%", "7.0%", "8.0%", "9.0%",
                          "10.%", "0.2%", "0.5%"});
    errorClassIndex_ = kDefaultErrorClass;
    ShowIndexes();
}

void MeasurementPage::resizeEvent(QResizeEvent*) {
    strip_->setGeometry(0, 0, width(), kStripHeight);
    list_->setGeometry(0, kStripHeight, width(), std::max(0, height() - kStripHeight));
}

void MeasurementPage::Reload() {
    currentFirst_ = false;
    list_->setRowCount(0);
    if (const DeviceTemplate* tpl = Selected()) {
        for (int i = 0; i < tpl->AnalogueCount; ++i) {
            const AnaloguePoint& a = tpl->Analogue[i];
            if (IsCurrentFirst(support::FieldBytes(tpl->Analogue[0].Name, kTextField)))
                currentFirst_ = true;
            const int row = list_->AppendRow();
            list_->SetText(row, 0, QString::asprintf("%02d", i + 1));
            list_->SetText(row, 1, Field(a.Name));
            list_->SetText(row, 6, Field(a.Type));
            list_->SetText(row, 5, QString::asprintf("%.6f", static_cast<double>(a.Scale)));
        }
    }
    reference_ = BuildReferenceTable(currentFirst_);
    for (int k = 1; k <= kStages; ++k)
        ShowStageIcon(k, false);
}

void MeasurementPage::Update() {
    const DeviceTemplate* tpl = Selected();
    if (!tpl)
        return;
    for (int i = 0; i < tpl->AnalogueCount && i < list_->rowCount(); ++i)
        list_->SetText(i, 2,
                       QString::asprintf("%.4f", static_cast<double>(tpl->Analogue[i].Value)));
}

void MeasurementPage::StageButtonClicked(int k) {
    TakeIndexesFromLists();
    if (k - 1 == stageIndex_)
        SaveStage();
    else
        SelectStage(k);
}

void MeasurementPage::SelectStage(int k) {
    if (k < 1 || k > kStages)
        return;
    currentIndex_ = stageIndex_ = k - 1;
    ShowStageIcon(k, false);
    ShowIndexes();
}

bool MeasurementPage::SaveStage() {
    const int s = stageIndex_;
    bool passed = true;
    if (const DeviceTemplate* tpl = Selected()) {
        const float limit = kErrorClassTable[static_cast<std::size_t>(errorClassIndex_)];
        for (int r = 0; r < kCheckedChannels; ++r) {
            const float reading = tpl->Analogue[r].Value;
            readings_[static_cast<std::size_t>(s)][static_cast<std::size_t>(r)] = reading;
            const float ref = reference_[static_cast<std::size_t>(s)][static_cast<std::size_t>(r)];
            const bool shown = r < list_->rowCount();
            if (ref == 0.0f) {
                if (shown)
                    list_->SetText(r, 3, QStringLiteral("\\"));
                continue;
            }
            const ChannelResult result = JudgeChannel(ref, reading, limit);
            if (shown) {
                list_->SetText(r, 3, QString::asprintf("%.4f", static_cast<double>(ref)));
                list_->SetText(r, 4, result.text);
            }
            passed = passed && result.passed;
        }
    }
    if (passed) {
        ShowStageIcon(s + 1, true);
        if (s < kStages - 1)
            stageIndex_ = currentIndex_ = s + 1;
        ShowIndexes();
    }
    return passed;
}

void MeasurementPage::ShowIndexes() {
    currentList_->setCurrentIndex(currentIndex_);
    voltageList_->setCurrentIndex(stageIndex_);
    errorList_->setCurrentIndex(errorClassIndex_);
}

void MeasurementPage::TakeIndexesFromLists() {
    if (currentList_->currentIndex() >= 0)
        currentIndex_ = currentList_->currentIndex();
    if (voltageList_->currentIndex() >= 0)
        stageIndex_ = voltageList_->currentIndex();
    if (errorList_->currentIndex() >= 0)
        errorClassIndex_ = errorList_->currentIndex();
}

void MeasurementPage::ShowStageIcon(int k, bool passed) {
    passed_[static_cast<std::size_t>(k - 1)] = passed;
    StageButton(k)->SetIcon(LanIcon(passed ? kIconStagePassed : kIconStageOpen));
}

void MeasurementPage::NotYetAvailable() {
    prompter_.Inform(this, QStringLiteral("本版本尚未提供此功能（测量值导出与打印报告）。"),
                     QStringLiteral("提示"), MessageIcon::Information);
}

} // namespace lanpanel::ui
