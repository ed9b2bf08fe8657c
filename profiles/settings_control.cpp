#include "profiles/settings_control.h"

#include <utility>

namespace fennick {

TSettingsControl::TSettingsControl(std::initializer_list<std::string> items, int itemIndex) : FItems(items) {
  SetItemIndex(itemIndex);
}

std::string TSettingsControl::Text() const { return FItemIndex < 0 ? std::string() : FItems[FItemIndex]; }

void TSettingsControl::Clear() {
  FItems.clear();
  FItemIndex = -1;
}

void TSettingsControl::Assign(std::vector<std::string> items, int itemIndex) {
  FItems = std::move(items);
  SetItemIndex(itemIndex);
}

void TSettingsControl::Add(std::string item) { FItems.push_back(std::move(item)); }

void TSettingsControl::SetItemIndex(int index) { FItemIndex = index >= 0 && index < Count() ? index : -1; }

int TSettingsControl::IndexOf(std::string_view text) const {
  for (int i = 0; i < Count(); ++i)
    if (FItems[i] == text) return i;
  return -1;
}

bool TSettingsControl::SelectText(std::string_view text) {
  int index = IndexOf(text);
  if (index < 0) return false;
  FItemIndex = index;
  return true;
}

}  // namespace fennick
