#pragma once
// Hand-made templates and a prompter that answers by script, for the page and dialog tests.

#include "common/support/gbk.h"
#include "lanpanel/templates/shared_state.h"
#include "lanpanel/ui/prompter.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <initializer_list>

namespace lanpanel::testing {

inline void SetName(char* field, const char* name) {
    support::CopyGbkField(field, kTextField, support::ToGbk(QString::fromUtf8(name)));
}

// A selected template in `shared` with the given analogue names, all with scale 1.
inline DeviceTemplate& AddTemplate(SharedState& shared,
                                   std::initializer_list<const char*> analogues, int digitals = 0) {
    auto t = DeviceTemplate::Create();
    t->Index = static_cast<int>(shared.Templates.size());
    SetName(t->FileName, "TEST.xml");
    for (const char* name : analogues) {
        AnaloguePoint& a = t->Analogue[t->AnalogueCount++];
        SetName(a.Name, name);
        SetName(a.Type, "A");
        a.Scale = 1.0f;
    }
    for (int i = 0; i < digitals; ++i)
        SetName(t->Digital[t->DigitalCount++].Name, "开关位置");
    shared.SelectedTemplateIndex = static_cast<std::uint16_t>(t->Index);
    shared.Templates.push_back(std::move(t));
    return *shared.Templates.back();
}

class ScriptedPrompter : public ui::Prompter {
public:
    QStringList shown; // "title|text"
    bool answer = true;
    int asked = 0;
    void Inform(QWidget*, const QString& text, const QString& title, MessageIcon) override {
        shown << title + QLatin1Char('|') + text;
    }
    bool AskOkCancel(QWidget*, const QString& text, const QString& title) override {
        ++asked;
        shown << title + QLatin1Char('|') + text;
        return answer;
    }
};

} // namespace lanpanel::testing
