#include "screen/browse.h"

#include <string>

#include "screen/form.h"
#include "screen/form_entry.h"
#include "screen/key_codes.h"
#include "screen/key_input.h"

namespace quarnell {
namespace {

// Slots of a pick list in the form file.
constexpr size_t kFileSlot = 0;
constexpr size_t kKeySlot = 1;
constexpr size_t kScreenSlot = 6;
constexpr size_t kSwitchSlot = 7;

int16_t SwitchTo(Console& console, int browse) {
  const int16_t result = Browse(console, browse);
  const FormHooks& hooks = CurrentFormHooks();
  if (result == 0 && hooks.browse_pick) {
    int picked = browse;
    hooks.browse_pick(console, picked, 0, 0);
  }
  return result;
}

int16_t RunPickList(Console& console, int browse, const FormBrowse& definition) {
  const auto& slots = definition.slots;
  if (slots[kScreenSlot] != 0) {
    int16_t key = 0;
    RunForm(console, slots[kScreenSlot], 0, 0, key);
    if (key == kKeyEsc) return kBrowseLeft;
  }
  const FormHooks& hooks = CurrentFormHooks();
  BrowseList list;
  if (hooks.browse_start) {
    const int16_t start = hooks.browse_start(browse, list.start_key, list.end_key);
    if (start != 0) return start;
  }
  list.file = slots[kFileSlot];
  list.key_number = slots[kKeySlot];
  list.frame = WindowRect{slots[2], slots[3], slots[4], slots[5]};
  list.title = definition.title;
  list.line = [browse] {
    const FormHooks& current = CurrentFormHooks();
    return current.browse_line ? current.browse_line(browse) : std::string();
  };
  if (const int other = slots[kSwitchSlot]; other != 0) {
    list.switch_list = [other](Console& c) { return SwitchTo(c, other); };
  }
  return RunBrowseList(console, list);
}

}  // namespace

int16_t Browse(Console& console, int browse) {
  const FormDefinition& form = Form();
  if (browse < 1 || browse > static_cast<int>(form.browses.size())) return kBrowseLeft;
  // The screen of slot 6 runs inside the field that pressed F4, which holds the key set's one
  // saved copy; its fields would drop that copy. The field gets its keys back whole.
  const SavedKeySet keys = SaveKeySet();
  const FormBrowse definition = form.browses[static_cast<size_t>(browse - 1)];
  const int16_t result = RunPickList(console, browse, definition);
  RestoreKeySet(keys);
  return result;
}

}  // namespace quarnell
