#include "ip_address_edit.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace lanpanel::ui {

IpAddressEdit::IpAddressEdit(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    setAutoFillBackground(true);
    for (int i = 0; i < 4; ++i) {
        auto* f = new QLineEdit(this);
        f->setValidator(new QIntValidator(0, 255, f));
        f->setMaxLength(3);
        f->setAlignment(Qt::AlignCenter);
        f->setFixedWidth(f->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 6);
        f->installEventFilter(this);
        fields_[static_cast<std::size_t>(i)] = f;
        row->addWidget(f);
        if (i < 3)
            row->addWidget(new QLabel(QStringLiteral("."), this));
        if (i < 3)
            connect(f, &QLineEdit::textEdited, this, [this, i](const QString& text) {
                if (text.size() == 3)
                    fields_[static_cast<std::size_t>(i + 1)]->setFocus();
            });
    }
    setFocusProxy(fields_[0]);
}

void IpAddressEdit::SetOctets(const std::array<std::uint8_t, 4>& octets) {
    for (int i = 0; i < 4; ++i)
        fields_[static_cast<std::size_t>(i)]->setText(
            QString::number(octets[static_cast<std::size_t>(i)]));
}

std::array<std::uint8_t, 4> IpAddressEdit::Octets() const {
    std::array<std::uint8_t, 4> out{};
    for (std::size_t i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(std::min(255, fields_[i]->text().toInt()));
    return out;
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        for (int i = 0; i < 3; ++i) {
            if (watched == fields_[static_cast<std::size_t>(i)] && key->key() == Qt::Key_Period) {
                fields_[static_cast<std::size_t>(i + 1)]->setFocus();
                fields_[static_cast<std::size_t>(i + 1)]->selectAll();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace lanpanel::ui
