#pragma once
// The two read-only lists of the main dialog: the relay's signals (遥信值) and its protection
// values (保护值).

#include "lan_page.h"

#include <array>
#include <cstdint>

namespace lanpanel::ui {

class ReportList;

class SignalsPage : public LanPage {
    Q_OBJECT
public:
    SignalsPage(SharedState& shared, SoundFn sound, QWidget* parent);

    void Reload() override;
    // Writes 合 or 分 only into rows whose state changed since last shown, marks them
    // selected and sounds "IDR_WAVE_YX" for each.
    void Update() override;

    ReportList* List() const { return list_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    SoundFn sound_;
    ReportList* list_;
    // The state last shown in each row; 0x02020202 (no state has it) until the row is shown.
    std::array<std::uint32_t, 512> stateCache_{};
};

class ProtectionPage : public LanPage {
    Q_OBJECT
public:
    ProtectionPage(SharedState& shared, QWidget* parent);

    void Reload() override;
    // Rewrites the values of the rows there are; a grown count waits for the next reload.
    void Update() override;

    ReportList* List() const { return list_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ReportList* list_;
};

} // namespace lanpanel::ui
