#pragma once
// Relay mode: frames are handed to a separate communication server that owns the real line.
// The server listens on a local socket named after its window title. Every message, in both
// directions, is
//   u32 tag (little-endian)   the port number from us; ignored in answers
//   u32 count (little-endian) number of bytes that follow, at most RelayMaxPayload
//   count bytes
// A message with count 0 announces us (and, with port 200, says that we are closing).

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace companel {

constexpr std::uint32_t RelayMaxPayload = 2048; // the relay buffer
constexpr int RelayClosingPort = 200;

QString RelayServerName();

QByteArray EncodeRelayMessage(std::uint32_t tag, const QByteArray& payload);

// Cuts the socket's byte stream into messages. A count over RelayMaxPayload means the stream
// is not ours or is damaged: the reader then reports an error and must be reset.
class RelayMessageReader {
public:
    struct Message {
        std::uint32_t tag = 0;
        QByteArray payload;
    };
    void Append(const QByteArray& bytes);
    std::optional<Message> Next();
    bool Failed() const { return failed_; }
    void Reset();

private:
    QByteArray pending_;
    bool failed_ = false;
};

} // namespace companel
