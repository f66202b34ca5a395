#pragma once
// The relay simulator in a thread of its own, as a real relay runs apart from the PC: in one
// event loop a late socket notification could let two of its frames run together in one read.

#include "tools/pq4820-sim/sim_client.h"

#include <QThread>

namespace lanpanel::testing {

class SimThread {
public:
    SimThread(pq4820sim::RelayModel::Options relay, pq4820sim::ClientOptions options)
        : client_(new pq4820sim::SimClient(relay, options)) {
        client_->moveToThread(&thread_);
        thread_.start();
    }
    ~SimThread() {
        QMetaObject::invokeMethod(
            client_, [c = client_] { delete c; }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    bool Start() {
        bool ok = false;
        QMetaObject::invokeMethod(
            client_, [&] { ok = client_->Start(); }, Qt::BlockingQueuedConnection);
        return ok;
    }
    pq4820sim::SimClient* operator->() { return client_; }
    pq4820sim::SimClient* get() { return client_; }

private:
    QThread thread_;
    pq4820sim::SimClient* client_;
};

} // namespace lanpanel::testing
