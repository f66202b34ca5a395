#pragma once
// A simulated relay on the sample point table at a fixed moment, and the master's side of the
// conversation: frames built by the request catalogue, answers read by the master's readers.

#include "common/support/gbk.h"
#include "common/support/profile.h"
#include "companel/config/point_table_loader.h"
#include "companel/link/crc.h"
#include "companel/link/frame.h"
#include "tools/vkd2950-sim/device.h"

#include <QDateTime>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace simtest {

using vkdsim::Bytes;

inline QString SampleIni() {
    return QString::fromUtf8(RELAY_SOURCE_DIR "/resources/companel/配置文件/VKD2950.ini");
}

// 2025-03-14 10:20:30.250 local time.
inline qint64 Moment() {
    return QDateTime(QDate(2025, 3, 14), QTime(10, 20, 30, 250)).toMSecsSinceEpoch();
}

inline Bytes Sealed(std::vector<std::uint8_t> frame) {
    vkdsim::Device::Seal(frame);
    return frame;
}

inline Bytes ToBytes(const companel::Frame& f) {
    return Bytes(f.data(), f.data() + f.size());
}

inline std::uint16_t RegisterOf(const Bytes& answer, std::size_t r) {
    return static_cast<std::uint16_t>((answer.at(3 + 2 * r) << 8) | answer.at(4 + 2 * r));
}

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        tables_ = std::make_unique<companel::PointTables>();
        companel::LoadPointTables(*tables_, SampleIni());
        ASSERT_EQ(tables_->Telemetry.AskNumber, 59) << "sample point table not found";
    }
    void Make(vkdsim::DeviceOptions options = Options()) {
        device_ = std::make_unique<vkdsim::Device>(*tables_, options, Moment());
    }
    static vkdsim::DeviceOptions Options() {
        vkdsim::DeviceOptions o;
        o.SignalPeriodSeconds = 0;
        return o;
    }
    Bytes Ask(const Bytes& request, qint64 at = Moment()) {
        return device_->Handle(request.data(), request.size(), at);
    }
    Bytes Ask(const companel::Frame& request, qint64 at = Moment()) {
        return Ask(ToBytes(request), at);
    }

    std::unique_ptr<companel::PointTables> tables_;
    std::unique_ptr<vkdsim::Device> device_;
};

} // namespace simtest
