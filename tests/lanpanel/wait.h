#pragma once
// Runs the event loop until a condition holds or the time is up.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace lanpanel::testing {

template <typename Pred> bool WaitFor(Pred pred, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

} // namespace lanpanel::testing
