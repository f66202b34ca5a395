#pragma once
// The settings, plates and operations pages: created hidden in the page area like the others,
// so the main dialog and the engine's notifications already have their place. Their lists and
// buttons are added with the work that builds those pages; until then their page buttons stay
// disabled and the page shows nothing.

#include "lan_page.h"

namespace lanpanel::ui {

class PendingPage : public LanPage {
    Q_OBJECT
public:
    PendingPage(SharedState& shared, QWidget* parent) : LanPage(shared, parent) {}
    void Reload() override {}
    void Update() override {}
};

} // namespace lanpanel::ui
