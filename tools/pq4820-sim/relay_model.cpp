#include "relay_model.h"

#include "common/support/gbk.h"

#include <cmath>
#include <cstring>

namespace pq4820sim {

namespace {
constexpr std::uint8_t kUnsigned = 3;
constexpr std::uint8_t kFloat = 7;

void PutFloat(Bytes& b, float v) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

void PutText(Bytes& b, std::uint8_t group, int entry, std::uint8_t kod, const QString& text) {
    QByteArray gbk = support::ToGbk(text);
    gbk.truncate(200);
    b.insert(b.end(), {group, static_cast<std::uint8_t>(entry), kod, 0x01,
                       static_cast<std::uint8_t>(gbk.size()), 0x01});
    b.insert(b.end(), gbk.begin(), gbk.end());
}

void PutValue(Bytes& b, std::uint8_t group, int entry, std::uint8_t dataType, float v) {
    b.insert(b.end(), {group, static_cast<std::uint8_t>(entry), 0x01, dataType});
    if (dataType == kUnsigned) {
        const auto u = static_cast<std::uint16_t>(v < 0 ? 0 : (v > 65535 ? 65535 : v));
        b.insert(b.end(), {0x02, 0x01, static_cast<std::uint8_t>(u & 0xFF),
                           static_cast<std::uint8_t>(u >> 8)});
    } else {
        b.insert(b.end(), {0x04, 0x01});
        PutFloat(b, v);
    }
}

float Decode(const std::uint8_t* data, int size) {
    if (size == 2)
        return static_cast<float>(data[0] | data[1] << 8);
    if (size == 4) {
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i)
            bits |= static_cast<std::uint32_t>(data[i]) << (8 * i);
        float v = 0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    return 0;
}
} // namespace

RelayModel::RelayModel(Options options) : options_(std::move(options)) {
    options_.model = options_.model.leftJustified(5, ' ', true);
    options_.version = options_.version.leftJustified(5, ' ', true);
    if (options_.model.contains("22")) { // bus voltage unit: voltages first, raw in volts
        analogueNames_ = {"Ua", "Ub", "Uc", "Uab", "Ubc", "Uca", "3U0", "Ia", "Ic", "F"};
        analogues_ = {5773.5f,  5770.1f, 5775.9f, 10000.2f, 9998.7f,
                      10001.4f, 1.2f,    0.0f,    0.0f,     50.00f};
        signals_.assign(6, 0);
        signals_[0] = 1;
    } else { // line unit: currents first, power raw in watts
        analogueNames_ = {"Ia", "Ib", "Ic", "3I0", "Ua", "Ub", "Uc", "Uab", "P", "Q", "COS", "F"};
        analogues_ = {2.51f,  2.49f,  2.50f,     0.01f,    57.74f, 57.71f,
                      57.76f, 100.0f, 433012.7f, 125000.f, 0.96f,  50.00f};
        signals_.assign(10, 0);
        signals_[0] = 1; // breaker closed
        signals_[2] = 1; // truck in service position
    }

    const char* sections[] = {"过流I段",  "过流II段", "过流III段", "零序过流I段", "零序过流II段",
                              "过负荷",   "低电压",   "过电压",    "重合闸",      "低周减载",
                              "PT断线",   "CT断线",   "方向元件",  "后加速",      "充电保护",
                              "非电量一", "非电量二", "复压闭锁",  "负序过流",    "反时限过流",
                              "失压解列", "低频解列", "高频解列",  "过热保护",    "接地选线",
                              "备自投",   "控制回路"};
    for (const char* s : sections) {
        const QString base = QString::fromUtf8(s);
        settingDefs_.push_back(
            {base + QStringLiteral("投退"), QStringLiteral("无"), kUnsigned, 0, 1});
        settingDefs_.push_back({base + QStringLiteral("电流定值"), QStringLiteral("A"), kFloat, 2,
                                5.0f + static_cast<float>(settingDefs_.size()) * 0.25f});
        settingDefs_.push_back({base + QStringLiteral("时间定值"), QStringLiteral("s"), kFloat, 2,
                                0.3f + static_cast<float>(settingDefs_.size()) * 0.01f});
    }
    protection_ = {{QStringLiteral("保护Ia"), QStringLiteral("A"), 1.0f, 2.52f},
                   {QStringLiteral("保护Ib"), QStringLiteral("A"), 1.0f, 2.48f},
                   {QStringLiteral("保护Ic"), QStringLiteral("A"), 1.0f, 2.51f},
                   {QStringLiteral("保护3I0"), QStringLiteral("A"), 1.0f, 0.02f},
                   {QStringLiteral("保护Ua"), QStringLiteral("V"), 1.0f, 57.73f},
                   {QStringLiteral("保护Ub"), QStringLiteral("V"), 1.0f, 57.70f},
                   {QStringLiteral("保护Uc"), QStringLiteral("V"), 1.0f, 57.75f},
                   {QStringLiteral("保护频率"), QStringLiteral("Hz"), 0.01f, 5000.0f}};
    plateNames_ = {QStringLiteral("过流I段投入"),  QStringLiteral("过流II段投入"),
                   QStringLiteral("零序过流投入"), QStringLiteral("重合闸投入"),
                   QStringLiteral("低周减载投入"), QStringLiteral("远方操作投入"),
                   QStringLiteral("检修状态投入"), QStringLiteral("备用压板")};
    plates_ = {1, 1, 0, 1, 0, 1, 0, 0};
}

void RelayModel::NewConnection() {
    describedSettings_ = describedProtection_ = describedPlates_ = false;
}

std::vector<float>& RelayModel::Zone(std::uint8_t zone) {
    auto it = zones_.find(zone);
    if (it == zones_.end()) {
        std::vector<float> values;
        for (const auto& d : settingDefs_)
            values.push_back(d.dataType == kUnsigned
                                 ? d.initial
                                 : d.initial + static_cast<float>(zone > 0 ? zone - 1 : 0) * 0.1f);
        it = zones_.emplace(zone, std::move(values)).first;
    }
    return it->second;
}

float RelayModel::Setting(std::uint8_t zone, int index) const {
    auto it = zones_.find(zone);
    if (it == zones_.end() || index < 0 || index >= static_cast<int>(it->second.size()))
        return NAN;
    return it->second[static_cast<std::size_t>(index)];
}

int RelayModel::OutputState(int entry) const {
    auto it = outputs_.find(entry);
    return it == outputs_.end() ? 0 : it->second;
}

QDateTime RelayModel::Clock() const {
    return QDateTime::currentDateTime().addMSecs(clockOffsetMs_);
}

Bytes RelayModel::NextRequest(QByteArray& buffer) {
    while (!buffer.isEmpty()) {
        const auto type = static_cast<std::uint8_t>(buffer[0]);
        qsizetype length = 0;
        switch (type) {
        case 0x14:
            length = 8;
            break;
        case 0x07:
            length = 7;
            break;
        case 0x06:
            length = 13;
            break;
        case 0x15:
            length = 11;
            break;
        case 0x0A: {
            if (buffer.size() < 8)
                return {};
            const int sets = static_cast<std::uint8_t>(buffer[7]);
            length = 8;
            for (int i = 0; i < sets; ++i) {
                if (buffer.size() < length + 6)
                    return {};
                length += 6 + static_cast<std::uint8_t>(buffer[length + 4]);
            }
            break;
        }
        default:
            buffer.remove(0, 1); // not the start of a request: resynchronise
            continue;
        }
        if (buffer.size() < length)
            return {};
        Bytes request(buffer.begin(), buffer.begin() + length);
        buffer.remove(0, length);
        return request;
    }
    return {};
}

Bytes RelayModel::Header(std::uint8_t type, std::uint8_t cot, std::uint8_t inf,
                         std::uint8_t rii) const {
    return {type, 0x81, cot, options_.address, 0xFE, inf, rii, 0x00};
}

std::vector<Bytes> RelayModel::Handle(const Bytes& req, QString* report) {
    if (req.size() < 6)
        return {};
    if (req[3] != options_.address) {
        *report = QStringLiteral("忽略地址为 %1 的报文（本装置地址 %2）")
                      .arg(req[3])
                      .arg(options_.address);
        return {};
    }
    switch (req[0]) {
    case 0x14: {
        *report =
            QStringLiteral("召唤装置标识：回答型号 %1，版本 %2，系列号 %3")
                .arg(QString::fromLatin1(options_.model), QString::fromLatin1(options_.version))
                .arg(options_.series, 0, 16);
        Bytes b{0x05, 0x81, 0x08, options_.address, 0xFE, 0x00, 0x00};
        b.insert(b.end(), options_.model.begin(), options_.model.end());
        b.insert(b.end(), options_.version.begin(), options_.version.end());
        b.push_back(static_cast<std::uint8_t>(options_.series >> 8));
        b.push_back(static_cast<std::uint8_t>(options_.series & 0xFF));
        b.push_back(0x00);
        return {b};
    }
    case 0x07:
        *report = QStringLiteral("总召唤：%1 个遥测，%2 个遥信")
                      .arg(analogues_.size())
                      .arg(signals_.size());
        return {Interrogation()};
    case 0x06: {
        if (req.size() < 13)
            return {};
        const int ms = req[6] | req[7] << 8;
        const QDateTime set(QDate(2000 + req[12], req[11], req[10]),
                            QTime(req[9], req[8], ms / 1000, ms % 1000));
        if (!set.isValid()) {
            *report = QStringLiteral("对时报文的时间无效");
            return {};
        }
        clockOffsetMs_ = QDateTime::currentDateTime().msecsTo(set);
        *report =
            QStringLiteral("对时：") + set.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        return {};
    }
    case 0x15:
        if (req.size() < 11)
            return {};
        return ReadGroup(req[8], req[6], report);
    case 0x0A:
        return Write(req, report);
    default:
        return {};
    }
}

Bytes RelayModel::Interrogation() {
    Bytes b = Header(0x0A, 0x09, 0xF1, 0x00);
    std::normal_distribution<float> noise(0.0f, 0.002f);
    int records = 0;
    for (std::size_t i = 0; i < analogues_.size(); ++i) {
        b.insert(b.end(), {0x07, static_cast<std::uint8_t>(i + 1), 0, 0, 0, 0});
        PutFloat(b, analogues_[i] * (1.0f + noise(rng_)));
        ++records;
    }
    for (std::size_t i = 0; i < signals_.size(); ++i) {
        b.insert(b.end(), {0x08, static_cast<std::uint8_t>(i + 1), 0, 0, 0, 0,
                           static_cast<std::uint8_t>(signals_[i] + 1)});
        ++records;
    }
    b[7] = static_cast<std::uint8_t>(records);
    return b;
}

Bytes RelayModel::SpontaneousChange(QString* report) {
    std::uniform_int_distribution<std::size_t> pick(0, signals_.size() - 1);
    const std::size_t i = pick(rng_);
    signals_[i] ^= 1;
    Bytes b = Header(0x0A, 0x01, 0xF1, 0x00);
    b.insert(b.end(), {0x08, static_cast<std::uint8_t>(i + 1), 0, 0, 0, 0,
                       static_cast<std::uint8_t>(signals_[i] + 1)});
    b.insert(b.end(), {0x07, 0x01, 0, 0, 0, 0});
    PutFloat(b, analogues_[0]);
    b[7] = 2;
    *report = QStringLiteral("突发：遥信 %1 变为 %2").arg(i + 1).arg(signals_[i] ? "合" : "分");
    return b;
}

std::vector<Bytes> RelayModel::ReadGroup(std::uint8_t group, std::uint8_t rii, QString* report) {
    std::vector<Bytes> out;
    auto frame = [&](std::uint8_t) { return Header(0x0A, 0x2A, 0xF1, rii); };
    auto finish = [&](Bytes b, int sets) {
        b[7] = static_cast<std::uint8_t>(sets);
        out.push_back(std::move(b));
    };
    if (group == 0x00) {
        Bytes b = frame(0);
        b.insert(b.end(), {0x00, 0x03, 0x01, kUnsigned, 0x01, 0x01, runningZone_});
        finish(std::move(b), 1);
        *report = QStringLiteral("读运行区号：%1").arg(runningZone_);
        return out;
    }
    const int n = static_cast<int>(settingDefs_.size());
    if (group == 0x03) {
        if (!describedSettings_) {
            describedSettings_ = true;
            Bytes names = frame(0), units = frame(0), precision = frame(0);
            for (int i = 0; i < n; ++i) {
                PutText(names, 0x03, i + 1, 0x0A, settingDefs_[i].name);
                PutText(units, 0x03, i + 1, 0x09, settingDefs_[i].unit);
                precision.insert(precision.end(),
                                 {0x03, static_cast<std::uint8_t>(i + 1), 0x05, kUnsigned, 0x02,
                                  0x02, 0x00, 0x00,
                                  static_cast<std::uint8_t>(settingDefs_[i].decimals), 0x00});
            }
            finish(std::move(names), n);
            finish(std::move(units), n);
            finish(std::move(precision), n);
        }
        Bytes values = frame(0);
        const auto& zone = Zone(selectedZone_);
        for (int i = 0; i < n; ++i)
            PutValue(values, 0x03, i + 1, settingDefs_[i].dataType,
                     zone[static_cast<std::size_t>(i)]);
        finish(std::move(values), n);
        *report = QStringLiteral("读定值：区 %1，%2 项").arg(selectedZone_).arg(n);
        return out;
    }
    if (group == 0x06) {
        const int m = static_cast<int>(protection_.size());
        if (!describedProtection_) {
            describedProtection_ = true;
            Bytes names = frame(0), units = frame(0), factors = frame(0);
            for (int i = 0; i < m; ++i) {
                PutText(names, 0x06, i + 1, 0x0A, protection_[i].name);
                PutText(units, 0x06, i + 1, 0x09, protection_[i].unit);
                factors.insert(factors.end(),
                               {0x06, static_cast<std::uint8_t>(i + 1), 0x06, kFloat, 0x04, 0x01});
                PutFloat(factors, protection_[i].factor);
            }
            finish(std::move(names), m);
            finish(std::move(units), m);
            finish(std::move(factors), m);
        }
        Bytes values = frame(0);
        for (int i = 0; i < m; ++i)
            PutValue(values, 0x06, i + 1, kFloat, protection_[i].value);
        finish(std::move(values), m);
        *report = QStringLiteral("读保护测量值：%1 项").arg(m);
        return out;
    }
    if (group == 0x0E) {
        const int m = static_cast<int>(plates_.size());
        if (!describedPlates_) {
            describedPlates_ = true;
            Bytes names = frame(0);
            for (int i = 0; i < m; ++i)
                PutText(names, 0x0E, i + 1, 0x0A, plateNames_[i]);
            finish(std::move(names), m);
        }
        Bytes values = frame(0);
        for (int i = 0; i < m; ++i)
            values.insert(values.end(), {0x0E, static_cast<std::uint8_t>(i + 1), 0x01, 0x09, 0x01,
                                         0x01, static_cast<std::uint8_t>(plates_[i] + 1)});
        finish(std::move(values), m);
        *report = QStringLiteral("读压板：%1 块").arg(m);
        return out;
    }
    *report = QStringLiteral("读未知组 %1，不回答").arg(group);
    return out;
}

std::vector<Bytes> RelayModel::Write(const Bytes& req, QString* report) {
    if (req.size() < 8)
        return {};
    const int sets = req[7];
    std::size_t pos = 8;
    QStringList done;
    for (int s = 0; s < sets && pos + 6 <= req.size(); ++s) {
        const std::uint8_t group = req[pos], entry = req[pos + 1];
        const int size = req[pos + 4];
        if (pos + 6 + static_cast<std::size_t>(size) > req.size())
            break;
        const std::uint8_t* data = req.data() + pos + 6;
        const std::uint8_t first = size > 0 ? data[0] : 0;
        if (group == 0x00 && entry == 0x02) {
            selectedZone_ = first;
            done << QStringLiteral("切换查看区号为 %1").arg(first);
        } else if (group == 0x00 && entry == 0x06) {
            if (signals_.size() > 8)
                signals_[7] = signals_[8] = 0; // trip and alarm signals drop back
            done << QStringLiteral("信号复归");
        } else if (group == 0x0B) {
            outputs_[entry] = first;
            done << QStringLiteral("开出传动 %1 %2").arg(entry).arg(first == 2 ? "合" : "分");
        } else if (group == 0x0E && entry >= 1 && entry <= plates_.size()) {
            plates_[entry - 1] = first - 1;
            done << QStringLiteral("压板 %1 %2").arg(entry).arg(first == 2 ? "投入" : "退出");
        } else if (group == 0x03 && entry >= 1 && entry <= settingDefs_.size()) {
            Zone(selectedZone_)[entry - 1] = Decode(data, size);
            if (done.isEmpty() || !done.last().startsWith(QStringLiteral("下装定值")))
                done << QStringLiteral("下装定值到区 %1").arg(selectedZone_);
        }
        pos += 6 + static_cast<std::size_t>(size);
    }
    *report = done.join(QStringLiteral("；"));
    return {Header(0x0A, 0x28, 0xFA, req.size() > 6 ? req[6] : 0)};
}

} // namespace pq4820sim
