#include "app/controller/hotkey_bindings.h"

namespace corvina::app {

void HotkeyBindings::Apply(const std::vector<contacts::HotkeyEntry>& list, HotkeyRegistrar& registrar) {
  for (const Binding& b : registered_) registrar.UnregisterHotkey(b.id);
  registered_.clear();
  for (const contacts::HotkeyEntry& entry : list) {
    Binding b{kFirstId + static_cast<int>(registered_.size()), entry.Modifiers(), entry.VirtualKey()};
    registrar.RegisterHotkey(b.id, b.modifiers, b.virtualKey);
    registered_.push_back(b);
  }
}

std::optional<int> HotkeyBindings::PositionOf(int id) const {
  int k = id - kFirstId;
  if (k < 0 || k >= static_cast<int>(registered_.size())) return std::nullopt;
  return k;
}

}  // namespace corvina::app
