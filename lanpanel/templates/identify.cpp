#include "identify.h"

#include "common/support/gbk.h"

namespace lanpanel {

namespace {
QByteArray FileNameOf(const DeviceTemplate& tpl) {
    return support::FieldBytes(tpl.FileName, sizeof tpl.FileName);
}
} // namespace

Identification IdentifyModel(const TemplateList& list, QByteArray modelText) {
    modelText.replace(" ", "");
    modelText.replace("-", "");
    Identification result;
    if (modelText.isEmpty()) {
        result.message = QStringLiteral("未找到与该设备相匹配的模板，设备型号识别失败！");
        return result;
    }
    for (const auto& tpl : list) {
        if (FileNameOf(*tpl).contains(modelText)) {
            result.chosen = tpl.get();
            return result;
        }
    }
    for (const auto& tpl : list) {
        if (FileNameOf(*tpl) == "0.xml") {
            result.chosen = tpl.get();
            return result;
        }
    }
    result.message = QStringLiteral("未找到型号为：") + support::FromGbk(modelText) +
                     QStringLiteral(" 的设备模板，设备型号识别失败！");
    return result;
}

} // namespace lanpanel
