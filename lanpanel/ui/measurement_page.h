#pragma once
// The measurement page (遥测值): the relay's analogue channels with their live values, and the
// staged accuracy check against a test set. Clicking the button of the stage under test saves
// and judges that stage and moves on; clicking another stage's button makes it the stage under
// test. What the engineer has chosen in the three lists counts before a stage is judged.

#include "lan_page.h"
#include "measurement_check.h"

#include <array>

class QComboBox;

namespace widgets {
class FlatButton;
} // namespace widgets

namespace lanpanel::ui {

class Prompter;
class ReportList;

class MeasurementPage : public LanPage {
    Q_OBJECT
public:
    MeasurementPage(SharedState& shared, Prompter& prompter, QWidget* parent);

    void Reload() override;
    void Update() override;

    // Stage button k (1–7).
    void StageButtonClicked(int k);
    // Select stage k: it becomes the stage under test and shows as not passed.
    void SelectStage(int k);
    // Judges the stage under test; true when every taking part channel is within the class.
    bool SaveStage();

    bool CurrentFirst() const { return currentFirst_; }
    const StageTable& ReferenceTable() const { return reference_; }
    const StageTable& StageReadings() const { return readings_; }
    int StageIndex() const { return stageIndex_; }
    int CurrentIndex() const { return currentIndex_; }
    int ErrorClassIndex() const { return errorClassIndex_; }
    bool StageShownPassed(int k) const { return passed_[static_cast<std::size_t>(k - 1)]; }

    ReportList* List() const { return list_; }
    QComboBox* CurrentList() const { return currentList_; }
    QComboBox* VoltageList() const { return voltageList_; }
    QComboBox* ErrorList() const { return errorList_; }
    widgets::FlatButton* StageButton(int k) const {
        return stageButtons_[static_cast<std::size_t>(k - 1)];
    }
    widgets::FlatButton* PrintButton() const { return printButton_; }
    widgets::FlatButton* SaveButton() const { return saveButton_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowIndexes();
    void TakeIndexesFromLists();
    void ShowStageIcon(int k, bool passed);
    void NotYetAvailable();

    Prompter& prompter_;
    bool currentFirst_ = false;
    StageTable reference_{};
    StageTable readings_{};
    int stageIndex_ = 0;
    int currentIndex_ = 0;
    int errorClassIndex_ = kDefaultErrorClass;
    std::array<bool, kStages> passed_{};

    QWidget* strip_;
    ReportList* list_;
    std::array<widgets::FlatButton*, kStages> stageButtons_{};
    QComboBox* currentList_;
    QComboBox* voltageList_;
    QComboBox* errorList_;
    widgets::FlatButton* printButton_;
    widgets::FlatButton* saveButton_;
};

} // namespace lanpanel::ui
