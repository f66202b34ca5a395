// companel's frames checked against an independent Modbus implementation: a libmodbus RTU
// slave answers the management thread through a pair of bridged pseudo-terminals.

#include "common/support/appdir.h"
#include "companel/link/port_name.h"
#include "companel/link/requests.h"
#include "companel/polling/management_thread.h"
#include "locked_recorder.h"
#include "tests/companel/link/pty_pair.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>
#include <modbus.h>
#include <mutex>
#include <thread>

using namespace companel;
using namespace std::chrono_literals;

namespace {

// Copies bytes between the masters of two pseudo-terminals, so each side sees a serial line.
class PtyBridge {
public:
    PtyBridge() {
        thread_ = std::thread([this] {
            while (!stop_.load()) {
                const QByteArray ab = a.Read(1);
                if (!ab.isEmpty())
                    b.Write(ab);
                const QByteArray ba = b.Read(1);
                if (!ba.isEmpty())
                    a.Write(ba);
            }
        });
    }
    ~PtyBridge() {
        stop_ = true;
        thread_.join();
    }
    PtyPair a, b;

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class ModbusSlave {
public:
    explicit ModbusSlave(const QString& device) {
        ctx_ = modbus_new_rtu(device.toLocal8Bit().constData(), 9600, 'N', 8, 1);
        mapping_ = modbus_mapping_new(16, 0, 300, 0);
        if (!ctx_ || !mapping_ || modbus_set_slave(ctx_, 1) != 0 || modbus_connect(ctx_) != 0)
            return;
        modbus_set_indication_timeout(ctx_, 0, 50000); // wake up to look at the stop flag
        ok_ = true;
    }
    ~ModbusSlave() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (ctx_) {
            modbus_close(ctx_);
            modbus_free(ctx_);
        }
        if (mapping_)
            modbus_mapping_free(mapping_);
    }
    bool Ok() const { return ok_; }
    std::uint16_t* Registers() { return mapping_->tab_registers; }
    void Start() {
        thread_ = std::thread([this] {
            std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
            while (!stop_.load()) {
                const int n = modbus_receive(ctx_, query);
                if (n > 0)
                    modbus_reply(ctx_, query, n, mapping_);
            }
        });
    }

private:
    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

template <typename Pred> bool WaitUntil(Pred pred, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

} // namespace

TEST(IndependentModbusPeer, AnswersPollsCommandsUploadsAndDownloadsThatTheCoreConfirms) {
    QTemporaryDir dir;
    support::SetAppDir(dir.path());
    PtyBridge bridge;
    ASSERT_TRUE(bridge.a.Ok() && bridge.b.Ok());
    QDir().mkpath(PortLinkFolder());
    ASSERT_TRUE(QFile::link(bridge.a.SlavePath(), PortLinkFolder() + "/COM2"));

    CompanelState state;
    state.LoadTables(QStringLiteral(RELAY_SOURCE_DIR "/resources/companel/配置文件/VKD2950.ini"));
    const TelemetryTable& yc = state.Tables.Telemetry;
    ASSERT_GT(yc.Number, 0);

    ModbusSlave slave(bridge.b.SlavePath());
    ASSERT_TRUE(slave.Ok());
    // The first telemetry point reads 1234 raw; the version register 164 (V1.64).
    slave.Registers()[yc.Post[0] - 1] = 1234;
    slave.Registers()[yc.VersionPost] = 164;
    slave.Start();

    SerialPort port(SerialTiming{20, 1000, 5});
    ASSERT_TRUE(port.Open(2));
    test::LockedRecorder out;
    ManagementThread thread(state, port, out, PollTiming{0, 1, 1000, 50, 50});
    ASSERT_TRUE(thread.Start());

    ASSERT_TRUE(WaitUntil([&] { return out.Has("version V1.64"); }))
        << "polls answered and accepted";
    const float expected = 1234.0f / static_cast<float>(yc.CC2[0]);
    EXPECT_FLOAT_EQ(state.TelemetryValue(0), expected);

    struct Step {
        Frame request;
        const char* confirmation;
    };
    const std::uint8_t a = 1;
    const Step steps[] = {
        {BuildOperation(a, Operation::SignalReset), "status 复归成功!"},
        {BuildTimeSet(a, yc.TimePost, QDateTime::currentDateTime()), "status 校时成功!"},
        {BuildParameterUpload(a, state.Tables.Parameters), "status 上装所有参数成功!"},
        {BuildParameterDownload(a, state.Tables.Parameters).Request, "status 下载所有参数成功!"},
        {BuildSettingDownload(a, state.Tables.Settings).Request, "status 下载所有定值成功!"},
        {BuildSettingUpload(a, state.Tables.Settings), "status 上装所有定值成功!"},
    };
    for (const Step& s : steps) {
        ASSERT_FALSE(s.request.empty()) << s.confirmation;
        state.CommandSlot.Fill(s.request);
        EXPECT_TRUE(WaitUntil([&] { return out.Has(QString::fromUtf8(s.confirmation)); }))
            << s.confirmation;
    }
    // What the slave stored is what the tables hold after the upload.
    EXPECT_EQ(slave.Registers()[yc.TimePost],
              static_cast<std::uint16_t>(QDate::currentDate().year() - 2000));
    thread.RequestStop();
}
