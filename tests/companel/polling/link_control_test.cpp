#include "common/support/appdir.h"
#include "common/support/profile.h"
#include "companel/config/basic_settings.h"
#include "companel/link/port_name.h"
#include "companel/link/relay_link.h"
#include "companel/polling/link_control.h"
#include "tests/companel/link/pty_pair.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace companel;

TEST(BasicSettings, PortIsRememberedAsTyped) {
    QTemporaryDir dir;
    support::SetAppDir(dir.path());
    const QString path = DefaultBasicSettingsPath();
    EXPECT_TRUE(path.endsWith(QStringLiteral("/配置文件/基本配置.ini")));
    EXPECT_EQ(ReadPortSetting(path), 2) << "no file";
    struct Case {
        const char* typed;
        int readBack;
    };
    for (const Case& c : {Case{"7", 7}, Case{"x", 0}, Case{"12", 12}}) {
        ASSERT_TRUE(WritePortSetting(QString::fromLatin1(c.typed), path));
        EXPECT_EQ(ReadPortSetting(path), c.readBack) << c.typed;
        EXPECT_EQ(support::Profile::Load(path).Value("Settings", "Port"), QByteArray(c.typed));
    }
}

TEST(Reconnect, StoresThePortEvenWhenItCannotOpenThenOpensTheNewOne) {
    QTemporaryDir dir;
    support::SetAppDir(dir.path());
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    QDir().mkpath(PortLinkFolder());
    QFile::link(dir.path() + "/nothing-here", PortLinkFolder() + "/COM3");
    QFile::link(pty.SlavePath(), PortLinkFolder() + "/COM5");
    const QString settings = DefaultBasicSettingsPath();

    SerialPort port;
    EXPECT_FALSE(Reconnect(port, "3", false, settings));
    EXPECT_EQ(ReadPortSetting(settings), 3);
    EXPECT_TRUE(Reconnect(port, "5", false, settings));
    EXPECT_EQ(port.PortNumber(), 5);
    EXPECT_EQ(ReadPortSetting(settings), 5);

    // Network mode without a relay server: the route is taken but nothing answers.
    QLocalServer::removeServer(RelayServerName());
    EXPECT_FALSE(Reconnect(port, "261", true, settings));
    EXPECT_TRUE(port.IsRelayMode());
    EXPECT_EQ(port.PortNumber(), 261 & 0xFF);
    EXPECT_EQ(PortNumberOf(" 12abc"), 12);
}

TEST(AddressSearch, QueuesTheSearchRequest) {
    CompanelState state;
    QueueAddressSearch(state);
    const Frame f = state.SearchSlot.Take();
    const std::uint8_t expected[] = {0xFE, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x05};
    ASSERT_EQ(f.size(), sizeof expected);
    EXPECT_TRUE(std::equal(expected, expected + sizeof expected, f.data()));
}
