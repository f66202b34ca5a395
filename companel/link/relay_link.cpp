#include "relay_link.h"

namespace companel {
namespace {
void PutU32(QByteArray& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}
std::uint32_t GetU32(const QByteArray& in, qsizetype at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(in[at + i]);
    return v;
}
} // namespace

QString RelayServerName() {
    return QStringLiteral("运维终端 - 通讯正常 - 通讯服务器以正常模式运行");
}

QByteArray EncodeRelayMessage(std::uint32_t tag, const QByteArray& payload) {
    QByteArray out;
    out.reserve(8 + payload.size());
    PutU32(out, tag);
    PutU32(out, static_cast<std::uint32_t>(payload.size()));
    out.append(payload);
    return out;
}

void RelayMessageReader::Append(const QByteArray& bytes) {
    if (!failed_)
        pending_.append(bytes);
}

std::optional<RelayMessageReader::Message> RelayMessageReader::Next() {
    if (failed_ || pending_.size() < 8)
        return std::nullopt;
    const std::uint32_t count = GetU32(pending_, 4);
    if (count > RelayMaxPayload) {
        failed_ = true;
        pending_.clear();
        return std::nullopt;
    }
    if (pending_.size() < 8 + static_cast<qsizetype>(count))
        return std::nullopt;
    Message m;
    m.tag = GetU32(pending_, 0);
    m.payload = pending_.mid(8, count);
    pending_.remove(0, 8 + count);
    return m;
}

void RelayMessageReader::Reset() {
    pending_.clear();
    failed_ = false;
}

} // namespace companel
