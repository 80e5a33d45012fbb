#include "text/folding.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/cp850.h"
#include "text/dates.h"

namespace quarnell {
namespace {

using FoldTable = std::array<unsigned char, 256>;

constexpr unsigned char Byte(char c) { return static_cast<unsigned char>(c); }

// Accent stripping for search keys: letters to plain capitals, everything else from 64 to 237
// (signs, box drawing) to a blank.
constexpr FoldTable BuildStripTable() {
  FoldTable table{};
  for (int c = 0; c < 256; ++c) table[c] = static_cast<unsigned char>(c);
  for (int c = 64; c <= 237; ++c) table[c] = ' ';
  for (int c = 'A'; c <= 'Z'; ++c) table[c] = static_cast<unsigned char>(c);
  for (int c = 'a'; c <= 'z'; ++c) table[c] = static_cast<unsigned char>(c - 32);
  struct Group {
    std::string_view letters;
    char plain;
  };
  const Group groups[] = {
      {"Çç"_cp850, 'C'},
      {"üûùÜúÚÛÙ"_cp850, 'U'},
      // The dotless i sorts with E in the search keys.
      {"éêëèÉÊËÈı"_cp850, 'E'},
      {"âäàåÄÅæÆáªÁÂÀãÃ"_cp850, 'A'},
      {"ïîìíÍÎÏÌ"_cp850, 'I'},
      {"ôöòÖøØóºÓÔÒõÕ"_cp850, 'O'},
      {"ÿýÝ"_cp850, 'Y'},
      {"ñÑ"_cp850, 'N'},
      {"ðÐ"_cp850, 'D'},
      {"ß"_cp850, 'S'},
      {"þÞ"_cp850, 'T'},
  };
  for (const Group& group : groups) {
    for (const char c : group.letters) table[Byte(c)] = Byte(group.plain);
  }
  return table;
}

// Capitals keeping their accents; ÿ, ø and þ have no capital here and stay small.
constexpr FoldTable BuildUpperTable() {
  FoldTable table{};
  for (int c = 0; c < 256; ++c) table[c] = static_cast<unsigned char>(c);
  for (int c = 'a'; c <= 'z'; ++c) table[c] = static_cast<unsigned char>(c - 32);
  constexpr std::string_view kSmall = "üéâäàåçêëèïîìæôöòûùáíóúñãðõý"_cp850;
  constexpr std::string_view kCapital = "ÜÉÂÄÀÅÇÊËÈÏÎÌÆÔÖÒÛÙÁÍÓÚÑÃÐÕÝ"_cp850;
  static_assert(kSmall.size() == kCapital.size());
  for (size_t i = 0; i < kSmall.size(); ++i) table[Byte(kSmall[i])] = Byte(kCapital[i]);
  return table;
}

constexpr FoldTable kStripTable = BuildStripTable();
constexpr FoldTable kUpperTable = BuildUpperTable();

bool fold_strips_accents = false;
std::vector<std::string> text_stack;

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The digits of the leading number of a group (blanks skipped, a sign ignored, reading stops at
// the first other character), without leading zeros; "0" when there are none.
std::string GroupDigits(std::string_view group) {
  std::string digits;
  size_t i = 0;
  while (i < group.size() && group[i] == ' ') ++i;
  if (i < group.size() && (group[i] == '-' || group[i] == '+')) ++i;
  for (; i < group.size(); ++i) {
    const char c = group[i];
    if (c == ' ') continue;
    if (c < '0' || c > '9') break;
    if (c == '0' && digits.empty()) continue;
    digits.push_back(c);
  }
  return digits.empty() ? std::string("0") : digits;
}

std::string FixedWidth(const std::string& digits, size_t width) {
  if (digits.size() >= width) return digits.substr(digits.size() - width);
  return std::string(width - digits.size(), '0') + digits;
}

}  // namespace

void SetFoldMode(bool strip_accents) { fold_strips_accents = strip_accents; }

bool FoldMode() { return fold_strips_accents; }

std::string FoldText(std::string_view text) {
  const FoldTable& table = fold_strips_accents ? kStripTable : kUpperTable;
  std::string out(text);
  for (char& c : out) c = static_cast<char>(table[Byte(c)]);
  return out;
}

std::string DottedToPacked(std::string_view text) {
  size_t dots = 0;
  for (const char c : text) dots += c == '.' ? 1 : 0;
  const bool wide_first = (text.size() == 6 && dots == 0) || (text.size() == 11 && dots < 2);
  std::string digits;
  size_t start = 0;
  bool first = true;
  while (true) {
    const size_t end = text.find('.', start);
    const std::string_view group =
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    // A blank group after a point ends the code.
    if (!first && TrimBlanks(group).empty()) break;
    digits += FixedWidth(GroupDigits(group), first && wide_first ? 6 : 4);
    first = false;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return PackDigits(digits);
}

std::string PackedToDotted(std::string_view code) {
  const std::string digits = UnpackDigits(code);
  // Cut into groups from the right: groups of 4 while more than 6 digits remain, then the rest.
  std::vector<std::string_view> groups;
  std::string_view rest = digits;
  while (rest.size() > 6) {
    groups.push_back(rest.substr(rest.size() - 4));
    rest.remove_suffix(4);
  }
  groups.push_back(rest);
  std::string text;
  bool trailing_zeros = true;
  for (size_t g = 0; g < groups.size(); ++g) {  // right to left
    const std::string_view group = groups[g];
    const size_t first_digit = group.find_first_not_of('0');
    const bool zero = first_digit == std::string_view::npos;
    if (zero && trailing_zeros) continue;
    trailing_zeros = false;
    const std::string value = zero ? std::string("0") : std::string(group.substr(first_digit));
    const bool leftmost = g + 1 == groups.size();
    text = (leftmost ? value : "." + value) + text;
  }
  return text;
}

std::string ReorderName(std::string_view name) {
  const size_t star = name.size() > 1 ? name.find('*', 1) : std::string_view::npos;
  if (star == std::string_view::npos) return std::string(TrimBlanks(name));
  const std::string_view given = TrimBlanks(name.substr(star + 1));
  const std::string_view surname = TrimBlanks(name.substr(0, star));
  std::string result(given);
  // "L'" + "ESTANY" joins without a blank.
  if (given.empty() || given.back() != '\'') result.push_back(' ');
  result += surname;
  return result;
}

bool IsAllChar(std::string_view text, uint8_t code) {
  for (const char c : text) {
    if (Byte(c) != code) return false;
  }
  return true;
}

void PushText(std::string_view text) { text_stack.emplace_back(text); }

std::string PopText() {
  if (text_stack.empty()) return std::string();
  std::string text = std::move(text_stack.back());
  text_stack.pop_back();
  return text;
}

}  // namespace quarnell
