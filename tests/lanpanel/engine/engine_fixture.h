#pragma once
// A fresh engine over a recording link, with the pages' notifications written down in order.

#include "common/support/gbk.h"
#include "lanpanel/engine/protocol_engine.h"

#include <QStringList>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace lanpanel::testing {

inline std::vector<std::uint8_t> Hex(const char* text) {
    std::vector<std::uint8_t> out;
    const QList<QByteArray> parts = QByteArray(text).simplified().split(' ');
    for (const QByteArray& p : parts)
        if (!p.isEmpty())
            out.push_back(static_cast<std::uint8_t>(p.toUInt(nullptr, 16)));
    return out;
}

inline QByteArray Text(const char* field) {
    return support::FieldBytes(field, kTextField);
}

class RecordingLink : public DeviceLink {
public:
    bool connected = true;
    std::vector<Frame> sent;
    bool DeviceConnected() const override { return connected; }
    bool SendToDevice(const std::uint8_t* data, std::uint16_t count) override {
        sent.emplace_back(data, data + count);
        return true;
    }
};

class EngineTest : public ::testing::Test {
protected:
    SharedState shared;
    RecordingLink link;
    std::unique_ptr<ProtocolEngine> engine;
    QStringList events; // "reload:3", "update:0", "selected", "message:…"

    void SetUp() override {
        for (const char* name : {"0.xml", "ABCDE.xml"}) {
            auto t = DeviceTemplate::Create();
            t->Index = static_cast<int>(shared.Templates.size());
            std::strcpy(t->FileName, name);
            shared.Templates.push_back(std::move(t));
        }
        shared.DeviceAddress = 5;
        Timing slow;
        slow.EngineTimerMs = 3600 * 1000; // the tests drive the ticks themselves
        engine = std::make_unique<ProtocolEngine>(shared, slow);
        engine->SetLink(&link);
        QObject::connect(engine.get(), &ProtocolEngine::PageReload, [this](Page p) {
            events << QStringLiteral("reload:%1").arg(static_cast<int>(p));
        });
        QObject::connect(engine.get(), &ProtocolEngine::PageUpdate, [this](Page p) {
            events << QStringLiteral("update:%1").arg(static_cast<int>(p));
        });
        QObject::connect(engine.get(), &ProtocolEngine::TemplateSelected,
                         [this] { events << QStringLiteral("selected"); });
        QObject::connect(engine.get(), &ProtocolEngine::ShowMessage,
                         [this](const QString& text, const QString&, MessageIcon) {
                             events << QStringLiteral("message:") + text;
                         });
    }

    void Feed(const std::vector<std::uint8_t>& bytes) {
        engine->FrameArrived(bytes.data(), static_cast<int>(bytes.size()));
    }
    void Feed(const char* hex) { Feed(Hex(hex)); }

    // Identifies as ABCDE (template 1).
    void Identify() {
        Feed("05 81 08 05 FE 00 00 41 42 43 44 45 31 2E 30 30 30 12 34 00");
        ASSERT_EQ(engine->CurrentTemplate(), shared.Templates[1].get());
        events.clear();
    }
    DeviceTemplate& Tpl() { return *shared.Templates[1]; }
};

} // namespace lanpanel::testing
