// A drop-down list that only allows choosing one of its items, without any
// user-interface toolkit: the window binds each one to a QComboBox, the
// command line drives it directly. The selection is always a valid position
// or -1 (nothing chosen, empty text).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace fennick {

class TSettingsControl {
 public:
  TSettingsControl() = default;
  TSettingsControl(std::initializer_list<std::string> items, int itemIndex);

  const std::vector<std::string>& Items() const { return FItems; }
  int Count() const { return static_cast<int>(FItems.size()); }
  int ItemIndex() const { return FItemIndex; }
  // The selected item, or empty text when nothing is selected.
  std::string Text() const;

  // Empties the list; nothing is selected afterwards.
  void Clear();
  // Empties the list, adds the items in order and selects itemIndex.
  void Assign(std::vector<std::string> items, int itemIndex);
  void Add(std::string item);
  // A position outside the list leaves nothing selected.
  void SetItemIndex(int index);
  // First position whose item equals text exactly, or -1.
  int IndexOf(std::string_view text) const;
  // Selects the first item equal to text; false (selection unchanged) when
  // the list has no such item.
  bool SelectText(std::string_view text);

  // Number of entries the open drop-down shows at once.
  int DropDownCount = 8;

 private:
  std::vector<std::string> FItems;
  int FItemIndex = -1;
};

}  // namespace fennick
