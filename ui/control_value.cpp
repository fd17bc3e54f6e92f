#include "ui/control_value.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>

#include "ui/qt_text.h"

namespace corvina::ui {

std::optional<std::string> PlainControlValue(const QObject* control) {
  if (auto* check = qobject_cast<const QCheckBox*>(control)) return check->isChecked() ? "1" : "0";
  if (auto* edit = qobject_cast<const QLineEdit*>(control)) return FromQt(edit->text());
  if (auto* spin = qobject_cast<const QSpinBox*>(control)) return std::to_string(spin->value());
  if (auto* slider = qobject_cast<const QSlider*>(control)) return std::to_string(slider->value());
  if (auto* combo = qobject_cast<const QComboBox*>(control)) return FromQt(combo->currentText());
  return std::nullopt;
}

bool ShowPlainControlValue(QObject* control, const std::string& value) {
  if (auto* check = qobject_cast<QCheckBox*>(control)) {
    check->setChecked(value == "1");
  } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    edit->setText(ToQt(value));
  } else if (auto* spin = qobject_cast<QSpinBox*>(control)) {
    spin->setValue(ToQt(value).toInt());
  } else if (auto* slider = qobject_cast<QSlider*>(control)) {
    slider->setValue(ToQt(value).toInt());
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    combo->setCurrentText(ToQt(value));
  } else {
    return false;
  }
  return true;
}

}  // namespace corvina::ui
