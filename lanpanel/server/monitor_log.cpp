#include "monitor_log.h"

#include "common/support/appdir.h"
#include "common/support/gbk.h"

#include <QFile>
#include <algorithm>

namespace lanpanel {

namespace {
constexpr qsizetype kBlockSize = 64 * 1024;
}

MonitorLog::MonitorLog(QObject* parent)
    : QObject(parent), clock_([] { return QDateTime::currentDateTime(); }) {}

void MonitorLog::SetClock(Clock clock) {
    clock_ = std::move(clock);
}

void MonitorLog::Log(const QString& text) {
    if (paused_)
        return;
    const QString line = clock_().toString(QStringLiteral("HH:mm:ss ")) + text;
    const QByteArray bytes = support::ToGbk(line) + "\r\n";
    if (blocks_.empty() || blocks_.back().size() + bytes.size() > kBlockSize) {
        blocks_.emplace_back();
        blocks_.back().reserve(std::max<qsizetype>(kBlockSize, bytes.size()));
    }
    QByteArray& block = blocks_.back();
    lines_.push_back({static_cast<std::uint32_t>(blocks_.size() - 1),
                      static_cast<std::uint32_t>(block.size()),
                      static_cast<std::uint32_t>(bytes.size() - 2)});
    block += bytes;
    textSize_ += bytes.size();
    if (line.size() > widest_)
        widest_ = static_cast<int>(line.size());
    emit LineAdded(line);
}

QString MonitorLog::Line(int row) const {
    if (row < 0 || row >= LineCount())
        return {};
    const LineRef& ref = lines_[lines_.size() - 1 - static_cast<std::size_t>(row)];
    return support::FromGbk(blocks_[ref.block].mid(ref.offset, ref.length));
}

QByteArray MonitorLog::LogText() const {
    QByteArray text;
    text.reserve(textSize_);
    for (const QByteArray& block : blocks_)
        text += block;
    return text;
}

QString MonitorLog::ProposedFileName(const QDateTime& when) {
    return when.toString(QStringLiteral("'网口面板('yyyy.MM.dd HH.mm').txt'"));
}

QString MonitorLog::ProposedFileName() const {
    return ProposedFileName(clock_());
}

QString MonitorLog::SaveFolder() {
    return support::AppPath(QStringLiteral("\\报文存档"));
}

bool MonitorLog::Save(const QString& path, QString* error) {
    savedPath_ = path;
    QFile file(path);
    const QByteArray text = LogText();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QString MonitorLog::FrameText(bool received, const std::uint8_t* data, int count) {
    QString text = received ? QStringLiteral("收") : QStringLiteral("发");
    text += QStringLiteral(" (%1)：").arg(count, 3, 10, QLatin1Char('0'));
    static const char digits[] = "0123456789ABCDEF";
    text.reserve(text.size() + 3 * count);
    for (int i = 0; i < count; ++i) {
        text += QLatin1Char(digits[data[i] >> 4]);
        text += QLatin1Char(digits[data[i] & 0x0F]);
        text += QLatin1Char(' ');
    }
    return text;
}

} // namespace lanpanel
