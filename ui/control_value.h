// The value a plain input control holds, as the option and wizard page objects keep it: a check
// box "1" or "0", a line edit's or combo box's text, a spin box's or slider's number. Button
// groups are not plain: the dialogs map their ids themselves.
#pragma once

#include <QObject>
#include <optional>
#include <string>

namespace corvina::ui {

// nullopt when `control` is not a plain control.
std::optional<std::string> PlainControlValue(const QObject* control);
// Shows `value` in `control`; false when it is not a plain control.
bool ShowPlainControlValue(QObject* control, const std::string& value);

}  // namespace corvina::ui
