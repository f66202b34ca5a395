// pq4820-sim: plays a PQ4820-family relay against lanpanel on this computer.

#include "sim_client.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QHostAddress>
#include <QTextStream>
#include <cstdio>

namespace {
bool ReadPort(const QCommandLineParser& p, const QString& name, quint16* port, bool allowZero) {
    bool ok = false;
    const uint v = p.value(name).toUInt(&ok);
    if (!ok || v > 65535 || (v == 0 && !allowZero))
        return false;
    *port = static_cast<quint16>(v);
    return true;
}
bool ReadCount(const QCommandLineParser& p, const QString& name, int* out) {
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (!ok || v < 0)
        return false;
    *out = v;
    return true;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pq4820-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "PQ4820 系列保护装置模拟器：像装置一样连接本机的运维终端（lanpanel，TCP 1048），\n"
        "回答装置标识、总召唤、定值/保护测量值/压板的通用分类读，执行对时、定值下装、\n"
        "区号切换、压板投退、开出传动和信号复归，并监听服务器发来的 UDP 报文。\n"
        "只连接本机回环地址。按 Ctrl+C 结束。"));
    p.addHelpOption();
    p.addVersionOption();
    p.addOptions({
        {"host", QStringLiteral("服务器地址，只能是回环地址（默认 127.0.0.1）"), "地址",
         "127.0.0.1"},
        {"port", QStringLiteral("服务器 TCP 端口（默认 1048）"), "端口", "1048"},
        {"udp-port", QStringLiteral("监听 UDP 报文的端口，0 为不监听（默认 1032）"), "端口",
         "1032"},
        {"address", QStringLiteral("装置的站地址 RTU（默认 1）"), "地址", "1"},
        {"model", QStringLiteral("装置型号，5 个字符（默认 48-21，电流在前；48-22 为电压在前）"),
         "型号", "48-21"},
        {"sw-version", QStringLiteral("软件版本，5 个字符（默认 V2.10）"), "版本", "V2.10"},
        {"series", QStringLiteral("软件系列号，十六进制（默认 2a5c）"), "系列号", "2a5c"},
        {"spontaneous", QStringLiteral("每隔多少秒发一次遥信变位，0 为不发（默认 20）"), "秒",
         "20"},
        {"gap", QStringLiteral("两帧之间的间隔毫秒数（默认 50）"), "毫秒", "50"},
        {"split", QStringLiteral("故障：超过 1460 字节的报文分成 1460 字节和其余部分发送")},
        {"wrong-address", QStringLiteral("故障：回答中的站地址错误")},
        {"short-frames", QStringLiteral("故障：每三帧回答截短一帧")},
        {"garbage", QStringLiteral("故障：每隔多少秒发送一段乱码"), "秒", "0"},
        {"reconnect", QStringLiteral("故障：连接后多少秒主动断开，2 秒后重新连接"), "秒", "0"},
        {"second-connection", QStringLiteral("故障：识别后再建立第二个连接，原连接不关闭")},
    });
    p.process(app);

    QTextStream err(stderr);
    pq4820sim::ClientOptions options;
    pq4820sim::RelayModel::Options relay;
    QString host = p.value("host");
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        host = QStringLiteral("127.0.0.1");
    options.host = QHostAddress(host);
    if (options.host.isNull() || !options.host.isLoopback()) {
        err << QStringLiteral("地址 %1 不是本机回环地址；模拟器只连接 127.0.0.0/8 或 ::1。\n")
                   .arg(host);
        return 2;
    }
    bool ok = ReadPort(p, "port", &options.port, false) &&
              ReadPort(p, "udp-port", &options.udpPort, true) &&
              ReadCount(p, "spontaneous", &options.spontaneousSec) &&
              ReadCount(p, "gap", &options.frameGapMs) &&
              ReadCount(p, "garbage", &options.faults.garbageSec) &&
              ReadCount(p, "reconnect", &options.faults.reconnectSec);
    bool addressOk = false, seriesOk = false;
    const uint address = p.value("address").toUInt(&addressOk);
    const uint series = p.value("series").toUInt(&seriesOk, 16);
    if (!ok || !addressOk || !seriesOk || address > 255 || series > 0xFFFF) {
        err << QStringLiteral("参数错误，请用 --help 查看用法。\n");
        return 2;
    }
    relay.address = static_cast<std::uint8_t>(address);
    relay.series = static_cast<std::uint16_t>(series);
    relay.model = p.value("model").toLatin1().left(5);
    relay.version = p.value("sw-version").toLatin1().left(5);
    options.faults.split = p.isSet("split");
    options.faults.wrongAddress = p.isSet("wrong-address");
    options.faults.shortFrames = p.isSet("short-frames");
    options.faults.secondConnection = p.isSet("second-connection");

    pq4820sim::SimClient client(relay, options);
    QTextStream out(stdout);
    QObject::connect(&client, &pq4820sim::SimClient::Report, [&out](const QString& line) {
        out << QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz ")) << line
            << Qt::endl;
    });
    if (!client.Start())
        return 2;
    return app.exec();
}
