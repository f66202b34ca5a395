#pragma once
// Model identification: which template belongs to the model text a relay reports.

#include "device_template.h"

#include <QByteArray>
#include <QString>

namespace lanpanel {

struct Identification {
    DeviceTemplate* chosen = nullptr; // none when identification failed
    QString message;                  // message-box text of a failure, empty on success
};

// The first template whose file name contains the model text (blanks and hyphens removed,
// byte-exact), else the first named "0.xml".
Identification IdentifyModel(const TemplateList& list, QByteArray modelText);

} // namespace lanpanel
