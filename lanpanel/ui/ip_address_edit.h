#pragma once
// An IPv4 address control: four fields of 0–255 separated by dots; typing a third digit or a
// dot moves on to the next field.

#include <QWidget>
#include <array>
#include <cstdint>

class QLineEdit;

namespace lanpanel::ui {

class IpAddressEdit : public QWidget {
    Q_OBJECT
public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    void SetOctets(const std::array<std::uint8_t, 4>& octets);
    // Empty fields read as 0.
    std::array<std::uint8_t, 4> Octets() const;
    QLineEdit* Field(int i) const { return fields_[static_cast<std::size_t>(i)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::array<QLineEdit*, 4> fields_{};
};

} // namespace lanpanel::ui
