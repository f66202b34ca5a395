#include "tools/vkd2950-sim/faults.h"

#include "companel/link/crc.h"

#include <QStringList>
#include <algorithm>

namespace vkdsim {
namespace {

void Reseal(std::vector<std::uint8_t>& frame) {
    if (frame.size() < 4)
        return;
    const std::uint16_t crc = companel::Crc16(frame.data(), frame.size() - 2);
    frame[frame.size() - 2] = static_cast<std::uint8_t>(crc & 0xFF);
    frame[frame.size() - 1] = static_cast<std::uint8_t>(crc >> 8);
}

bool ParseMs(const QString& text, int* ms) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < 0 || v > 600000)
        return false;
    *ms = v;
    return true;
}

} // namespace

QString FaultName(FaultKind kind) {
    switch (kind) {
    case FaultKind::None:
        return QStringLiteral("off");
    case FaultKind::Silent:
        return QStringLiteral("silent");
    case FaultKind::Late:
        return QStringLiteral("late");
    case FaultKind::Split:
        return QStringLiteral("split");
    case FaultKind::BadCrc:
        return QStringLiteral("crc");
    case FaultKind::WrongAddress:
        return QStringLiteral("address");
    case FaultKind::Short:
        return QStringLiteral("short");
    }
    return QString();
}

QString Describe(const FaultSettings& f) {
    QString s = QStringLiteral("fault %1").arg(FaultName(f.Kind));
    if (f.Kind == FaultKind::Late)
        s += QStringLiteral(" %1").arg(f.LateMs);
    if (f.Kind == FaultKind::Split)
        s += QStringLiteral(" %1").arg(f.SplitGapMs);
    if (f.Kind != FaultKind::None && f.Remaining > 0)
        s += QStringLiteral(" x%1").arg(f.Remaining);
    s += QStringLiteral(", silence %1, pacing %2, turnaround %3 ms")
             .arg(f.SilenceProbability)
             .arg(f.Pacing ? QStringLiteral("on") : QStringLiteral("off"))
             .arg(f.TurnaroundMs);
    return s;
}

Delivery PlanDelivery(const std::vector<std::uint8_t>& answer, FaultSettings& f,
                      std::mt19937& rng) {
    Delivery d;
    if (answer.empty())
        return d;
    const FaultKind kind = f.Kind;
    if (kind != FaultKind::None && f.Remaining > 0 && --f.Remaining == 0)
        f.Kind = FaultKind::None;
    if (f.SilenceProbability > 0) {
        std::uniform_real_distribution<double> chance(0.0, 1.0);
        if (chance(rng) < f.SilenceProbability) {
            d.Note = QStringLiteral("random silence");
            return d;
        }
    }
    std::vector<std::uint8_t> bytes = answer;
    int delay = f.TurnaroundMs;
    switch (kind) {
    case FaultKind::None:
        break;
    case FaultKind::Silent:
        d.Note = QStringLiteral("fault silent: no answer");
        return d;
    case FaultKind::Late:
        delay = f.LateMs;
        d.Note = QStringLiteral("fault late: %1 ms").arg(f.LateMs);
        break;
    case FaultKind::Split: {
        const std::size_t half = std::max<std::size_t>(1, bytes.size() / 2);
        d.Bursts.push_back({delay, std::vector<std::uint8_t>(
                                       bytes.begin(), bytes.begin() + static_cast<long>(half))});
        if (half < bytes.size())
            d.Bursts.push_back(
                {f.SplitGapMs,
                 std::vector<std::uint8_t>(bytes.begin() + static_cast<long>(half), bytes.end())});
        d.Note = QStringLiteral("fault split: %1 + %2 bytes, %3 ms apart")
                     .arg(half)
                     .arg(bytes.size() - half)
                     .arg(f.SplitGapMs);
        return d;
    }
    case FaultKind::BadCrc:
        // Flipping one bit of the low byte cannot produce the swapped order either.
        if (bytes.size() >= 2)
            bytes[bytes.size() - 2] ^= 0x01;
        d.Note = QStringLiteral("fault crc");
        break;
    case FaultKind::WrongAddress:
        bytes[0] = static_cast<std::uint8_t>(bytes[0] % 247 + 1);
        Reseal(bytes);
        d.Note = QStringLiteral("fault address: %1").arg(bytes[0]);
        break;
    case FaultKind::Short:
        bytes.resize(
            std::max<std::size_t>(bytes.size() / 2, std::min<std::size_t>(bytes.size(), 3)));
        d.Note = QStringLiteral("fault short: %1 of %2 bytes").arg(bytes.size()).arg(answer.size());
        break;
    }
    d.Bursts.push_back({delay, std::move(bytes)});
    return d;
}

bool ApplyFaultCommand(const QString& line, FaultSettings& faults, QString* error) {
    const QStringList w = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (w.isEmpty())
        return fail(QStringLiteral("empty command"));
    FaultSettings f = faults;
    const QString verb = w[0].toLower();
    if (verb == QLatin1String("fault")) {
        if (w.size() < 2)
            return fail(
                QStringLiteral("fault needs a kind: off silent late split crc address short"));
        QStringList rest = w.mid(2);
        f.Remaining = 0;
        if (!rest.isEmpty() && rest.last().startsWith(QLatin1Char('x'))) {
            bool ok = false;
            const int n = rest.last().mid(1).toInt(&ok);
            if (!ok || n <= 0)
                return fail(QStringLiteral("bad count %1 (xN, N > 0)").arg(rest.last()));
            f.Remaining = n;
            rest.removeLast();
        }
        const QString kind = w[1].toLower();
        const struct {
            const char* Name;
            FaultKind Kind;
        } kinds[] = {{"off", FaultKind::None},
                     {"none", FaultKind::None},
                     {"silent", FaultKind::Silent},
                     {"late", FaultKind::Late},
                     {"split", FaultKind::Split},
                     {"crc", FaultKind::BadCrc},
                     {"address", FaultKind::WrongAddress},
                     {"short", FaultKind::Short}};
        bool known = false;
        for (const auto& k : kinds)
            if (kind == QLatin1String(k.Name))
                f.Kind = k.Kind, known = true;
        if (!known)
            return fail(QStringLiteral("unknown fault %1").arg(w[1]));
        const bool timed = f.Kind == FaultKind::Late || f.Kind == FaultKind::Split;
        if (rest.size() > (timed ? 1 : 0))
            return fail(QStringLiteral("too many words"));
        if (!rest.isEmpty() &&
            !ParseMs(rest[0], f.Kind == FaultKind::Late ? &f.LateMs : &f.SplitGapMs))
            return fail(QStringLiteral("bad milliseconds %1").arg(rest[0]));
    } else if (verb == QLatin1String("silence")) {
        bool ok = false;
        const double p = w.size() == 2 ? w[1].toDouble(&ok) : 0;
        if (!ok || p < 0 || p > 1)
            return fail(QStringLiteral("silence needs a probability from 0 to 1"));
        f.SilenceProbability = p;
    } else if (verb == QLatin1String("pacing")) {
        if (w.size() != 2 || (w[1] != QLatin1String("on") && w[1] != QLatin1String("off")))
            return fail(QStringLiteral("pacing on|off"));
        f.Pacing = w[1] == QLatin1String("on");
    } else if (verb == QLatin1String("turnaround")) {
        if (w.size() != 2 || !ParseMs(w[1], &f.TurnaroundMs))
            return fail(QStringLiteral("turnaround needs milliseconds"));
    } else {
        return fail(QStringLiteral("unknown command %1").arg(w[0]));
    }
    faults = f;
    return true;
}

} // namespace vkdsim
