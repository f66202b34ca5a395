#pragma once
// What every value page of the main dialog has: it rebuilds its rows from the selected template
// on PageReload and rewrites only what changes on PageUpdate.

#include "lanpanel/templates/shared_state.h"

#include <QWidget>
#include <functional>

namespace lanpanel::ui {

// Plays a sound by its resource name; the program passes its player, tests a recorder.
using SoundFn = std::function<void(const QString& name)>;

class LanPage : public QWidget {
    Q_OBJECT
public:
    LanPage(SharedState& shared, QWidget* parent) : QWidget(parent), shared_(shared) {}

    virtual void Reload() = 0;
    virtual void Update() = 0;

protected:
    DeviceTemplate* Selected() const { return shared_.SelectedTemplate(); }
    SharedState& shared_;
};

} // namespace lanpanel::ui
