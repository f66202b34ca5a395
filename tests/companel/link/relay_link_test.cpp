#include "companel/link/relay_link.h"
#include "companel/link/serial_port.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace companel;
using namespace std::chrono_literals;

TEST(RelayMessageReader, CutsTheStreamAndRefusesOversizedCounts) {
    RelayMessageReader reader;
    const QByteArray two = EncodeRelayMessage(5, "abc") + EncodeRelayMessage(200, QByteArray());
    // Byte by byte: a message is given out only once it is complete.
    int seen = 0;
    for (char c : two) {
        reader.Append(QByteArray(1, c));
        while (auto m = reader.Next()) {
            if (seen == 0) {
                EXPECT_EQ(m->tag, 5u);
                EXPECT_EQ(m->payload, QByteArray("abc"));
            } else {
                EXPECT_EQ(m->tag, 200u);
                EXPECT_TRUE(m->payload.isEmpty());
            }
            ++seen;
        }
    }
    EXPECT_EQ(seen, 2);

    QByteArray huge = EncodeRelayMessage(1, QByteArray(10, 'x'));
    huge[4] = static_cast<char>(0xFF); // count far beyond the relay buffer
    huge[5] = static_cast<char>(0xFF);
    reader.Append(huge);
    EXPECT_FALSE(reader.Next().has_value());
    EXPECT_TRUE(reader.Failed());
}

namespace {
// Reads one message from the stub server's side of the connection.
std::optional<RelayMessageReader::Message> Receive(QLocalSocket& s, RelayMessageReader& r) {
    for (int i = 0; i < 100; ++i) {
        if (auto m = r.Next())
            return m;
        if (s.waitForReadyRead(20))
            r.Append(s.readAll());
    }
    return r.Next();
}
} // namespace

// One test for the whole relay conversation: the server name is fixed, so relay tests must not
// run side by side.
TEST(RelayMode, ConversationWithTheRelayServer) {
    SerialTiming fast;
    fast.relayRetryMs = 20;
    SerialPort port(fast);

    // No server: relay mode is entered all the same, and nothing can be sent.
    QLocalServer::removeServer(RelayServerName());
    EXPECT_FALSE(port.OpenRelay(5));
    EXPECT_TRUE(port.IsRelayMode());
    EXPECT_FALSE(port.IsUsable());
    const std::uint8_t poll[] = {1, 3, 0, 0, 0, 1, 0x84, 0x0A};
    EXPECT_FALSE(port.Send(poll, sizeof poll));

    QLocalServer server;
    ASSERT_TRUE(server.listen(RelayServerName()));
    ASSERT_TRUE(port.OpenRelay(5));
    ASSERT_TRUE(server.waitForNewConnection(2000));
    std::unique_ptr<QLocalSocket> peer(server.nextPendingConnection());
    ASSERT_TRUE(peer);
    RelayMessageReader reader;
    auto hello = Receive(*peer, reader);
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->tag, 5u);
    EXPECT_TRUE(hello->payload.isEmpty());

    ASSERT_TRUE(port.Send(poll, sizeof poll));
    auto request = Receive(*peer, reader);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->tag, 5u);
    EXPECT_EQ(request->payload, QByteArray(reinterpret_cast<const char*>(poll), sizeof poll));

    // An answer longer than the frame buffer is cut to it.
    peer->write(EncodeRelayMessage(0, QByteArray(1500, 'a')));
    peer->waitForBytesWritten(1000);
    ASSERT_TRUE(port.WaitFrame(2s));
    std::uint8_t frame[SerialPort::MaxFrame];
    EXPECT_EQ(port.TakeFrame(frame), SerialPort::MaxFrame);

    // The closing notice travels on the same connection.
    EXPECT_TRUE(port.OpenRelay(RelayClosingPort));
    auto notice = Receive(*peer, reader);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->tag, static_cast<std::uint32_t>(RelayClosingPort));
    EXPECT_TRUE(notice->payload.isEmpty());

    // The server goes away: the link notices.
    server.close();
    peer->abort();
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (port.IsUsable() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(port.IsUsable());
}
