#include "cli_slot_list.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace banklore {
namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A whole decimal number and nothing else; no sign, so "-3" is never mistaken for a range end.
std::optional<long long> number(std::string_view text) {
  text = trimmed(text);
  if (text.empty() || text.size() > 12) return std::nullopt;
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.front() == '-') {
    return std::nullopt;
  }
  return value;
}

}  // namespace

SlotListParse parseSlotList(std::string_view text, int slotCount) {
  SlotListParse result;
  const std::string whole(text);
  auto failWith = [&](const std::string& why) {
    result.slots.clear();
    result.error = "slot list \"" + whole + "\": " + why;
    return result;
  };
  if (slotCount <= 0) return failWith("the instrument has no slots");
  const std::string last = std::to_string(slotCount - 1);
  std::vector<bool> chosen(static_cast<std::size_t>(slotCount), false);
  while (true) {
    const std::size_t comma = text.find(',');
    const std::string_view item = trimmed(text.substr(0, comma));
    if (item.empty()) return failWith("an empty item");
    const std::size_t dash = item.find('-', 1);
    const auto first = number(item.substr(0, dash));
    const auto end = dash == std::string_view::npos ? first : number(item.substr(dash + 1));
    if (!first || !end) {
      return failWith("\"" + std::string(item) + "\" is no slot number or range (e.g. 0-127)");
    }
    if (*end < *first) return failWith("the range " + std::string(item) + " runs backwards");
    if (*end >= slotCount) {
      return failWith("slot " + std::to_string(*end) + " is outside 0.." + last);
    }
    for (long long slot = *first; slot <= *end; ++slot)
      chosen[static_cast<std::size_t>(slot)] = true;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  for (int slot = 0; slot < slotCount; ++slot) {
    if (chosen[static_cast<std::size_t>(slot)]) result.slots.push_back(slot);
  }
  return result;
}

std::string formatSlotList(const std::vector<int>& slots) {
  std::string text;
  for (std::size_t i = 0; i < slots.size();) {
    std::size_t run = i;
    while (run + 1 < slots.size() && slots[run + 1] == slots[run] + 1) ++run;
    if (!text.empty()) text += ',';
    if (run - i >= 2) {
      text += std::to_string(slots[i]) + "-" + std::to_string(slots[run]);
      i = run + 1;
    } else {
      text += std::to_string(slots[i]);
      ++i;
    }
  }
  return text;
}

}  // namespace banklore
