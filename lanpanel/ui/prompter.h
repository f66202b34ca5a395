#pragma once
// The message boxes of lanpanel go through one object, so the windows can be driven by tests
// without a box waiting for a click.

#include "lanpanel/engine/protocol_engine.h"

#include <QString>

class QWidget;

namespace lanpanel::ui {

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual void Inform(QWidget* parent, const QString& text, const QString& title,
                        MessageIcon icon) = 0;
    // OK and Cancel; true for OK.
    virtual bool AskOkCancel(QWidget* parent, const QString& text, const QString& title) = 0;
};

// The real boxes.
class BoxPrompter : public Prompter {
public:
    void Inform(QWidget* parent, const QString& text, const QString& title,
                MessageIcon icon) override;
    bool AskOkCancel(QWidget* parent, const QString& text, const QString& title) override;
};

// The caption of boxes that bring none of their own.
inline const QString kProgramCaption = QStringLiteral("运维终端");

} // namespace lanpanel::ui
