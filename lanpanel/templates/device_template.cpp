#include "device_template.h"

#include "common/support/appdir.h"
#include "common/support/gbk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace lanpanel {

std::unique_ptr<DeviceTemplate> DeviceTemplate::Create() {
    auto tpl = std::make_unique<DeviceTemplate>();
    std::memset(static_cast<void*>(tpl.get()), 0, sizeof(DeviceTemplate));
    tpl->RunningZone = 32;
    tpl->ViewZone = 32;
    return tpl;
}

QByteArray ExtractBetween(const QByteArray& start, const QByteArray& end, QByteArray& source) {
    const qsizetype s = source.indexOf(start);
    if (s < 0)
        return {};
    const qsizetype e = source.indexOf(end, s);
    const qsizetype textStart = s + start.size();
    if (e < textStart)
        return {};
    QByteArray text = source.mid(textStart, e - textStart);
    source = source.mid(e);
    return text;
}

QByteArray ExtractToEnd(const QByteArray& start, QByteArray& source) {
    const qsizetype s = source.indexOf(start);
    if (s < 0)
        return {};
    QByteArray text = source.mid(s + start.size());
    source.clear();
    return text;
}

int CopyField(char* field, const QByteArray& text) {
    if (text.isEmpty())
        return 2;
    if (text.size() > kMaxFieldText)
        return 1;
    std::memcpy(field, text.constData(), static_cast<std::size_t>(text.size()));
    field[text.size()] = '\0';
    return 0;
}

double ReadNumber(const QByteArray& text) {
    QByteArray t = text;
    t.replace(" ", "");
    if (t.isEmpty() || t.size() > kMaxFieldText)
        return 0.0;
    // Only the leading decimal number counts, as the platform's reader takes it; hexadecimal,
    // "inf" and "nan" are not numbers in a template.
    qsizetype i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    qsizetype digits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
        ++i;
        ++digits;
    }
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        qsizetype j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-'))
            ++j;
        const qsizetype expStart = j;
        while (j < t.size() && t[j] >= '0' && t[j] <= '9')
            ++j;
        if (j > expStart)
            i = j;
    }
    bool ok = false;
    const double v = t.left(i).toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

namespace {

QByteArray Unquoted(QByteArray text) {
    text.replace("\"", "");
    return text;
}

// A value that is followed by another attribute ends at the next blank; the last one runs to
// the end of the entry.
QByteArray Attribute(const QByteArray& marker, QByteArray& entry) {
    QByteArray value = ExtractBetween(marker, " ", entry);
    if (value.isEmpty())
        value = ExtractToEnd(marker, entry);
    return Unquoted(value);
}

float ScaleFrom(const QByteArray& text) {
    const double v = ReadNumber(text);
    // A scale that a float cannot hold is as useless as 0: the value is shown unscaled.
    if (v == 0.0 || std::fabs(v) > FLT_MAX)
        return 1.0f;
    return static_cast<float>(v);
}

} // namespace

void ParseTemplateText(DeviceTemplate& tpl, const QByteArray& whole, int* dropped) {
    QByteArray text = whole;
    const qsizetype zero = text.indexOf('\0');
    if (zero >= 0)
        text.truncate(zero);
    int over = 0;

    for (QByteArray entry = ExtractBetween("Analogue(", ")", text); !entry.isEmpty();
         entry = ExtractBetween("Analogue(", ")", text)) {
        if (tpl.AnalogueCount >= kListSize) {
            ++over;
            continue;
        }
        AnaloguePoint& p = tpl.Analogue[tpl.AnalogueCount];
        CopyField(p.Name, Attribute("name=", entry));
        CopyField(p.Type, Attribute("type=", entry));
        p.Scale = ScaleFrom(Unquoted(ExtractToEnd("cc2=", entry)));
        ++tpl.AnalogueCount;
    }

    for (QByteArray entry = ExtractBetween("Digital(", ")", text); !entry.isEmpty();
         entry = ExtractBetween("Digital(", ")", text)) {
        if (tpl.DigitalCount >= kListSize) {
            ++over;
            continue;
        }
        QByteArray name = Unquoted(ExtractToEnd("name=", entry));
        const qsizetype measure = name.indexOf("measure");
        if (measure >= 0)
            name.truncate(measure);
        CopyField(tpl.Digital[tpl.DigitalCount].Name, name);
        ++tpl.DigitalCount;
    }

    for (QByteArray entry = ExtractBetween("Relay(", ")", text); !entry.isEmpty();
         entry = ExtractBetween("Relay(", ")", text)) {
        if (tpl.RelayCount >= kListSize) {
            ++over;
            continue;
        }
        RelayPoint& p = tpl.Relay[tpl.RelayCount];
        CopyField(p.Name, Attribute("name=", entry));
        CopyField(p.Type, Unquoted(ExtractToEnd("type=", entry)));
        ++tpl.RelayCount;
    }
    if (dropped)
        *dropped = over;
}

bool LoadTemplate(DeviceTemplate& tpl, const QString& folder, const QString& fileName,
                  const ReportFn& report) {
    const QString path = folder + QLatin1Char('/') + fileName;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (report)
            report(QStringLiteral("打开配置文件出错：\r\n") + QDir::toNativeSeparators(path) +
                   QStringLiteral("，请检查文件是否存在！"));
        return false;
    }
    const QByteArray text = file.readAll();
    file.close();
    int dropped = 0;
    ParseTemplateText(tpl, text, &dropped);
    if (dropped > 0 && report)
        report(QStringLiteral("模板文件 %1 中有 %2 个条目超出每类 255 条的上限，已忽略。")
                   .arg(fileName)
                   .arg(dropped));
    return true;
}

bool ScanTemplates(TemplateList& list, const QString& folder, const ReportFn& report) {
    const QDir dir(folder);
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.xml")}, QDir::Files | QDir::Hidden, QDir::Name);
    int created = 0;
    for (const QFileInfo& info : files) {
        const QByteArray name = support::ToGbk(info.fileName());
        // The name must fit its field whole: identification matches on it, so a cut name could
        // pick the wrong model.
        if (name.size() >= kTextField) {
            if (report)
                report(QStringLiteral("模板文件名过长，已跳过：") + info.fileName());
            continue;
        }
        auto tpl = DeviceTemplate::Create();
        tpl->Index = static_cast<std::int32_t>(list.size());
        std::memcpy(tpl->FileName, name.constData(), static_cast<std::size_t>(name.size()));
        DeviceTemplate& ref = *tpl;
        list.push_back(std::move(tpl));
        ++created;
        LoadTemplate(ref, folder, info.fileName(), report);
    }
    return created > 0;
}

QString TemplateFolder() {
    return support::AppPath(QStringLiteral("\\模板文件"));
}

} // namespace lanpanel
