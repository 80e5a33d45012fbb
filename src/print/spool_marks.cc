#include "print/spool_marks.h"

#include <algorithm>
#include <vector>

#include "print/spool_writer.h"

namespace quarnell {
namespace {

constexpr std::string_view kRunMark = "QEB-RUN ";
constexpr std::string_view kOwnerMark = "QEB-OWNER ";
constexpr std::string_view kOwnerEndMark = "QEB-OWNER-END ";

bool AllDigits(std::string_view text, size_t length) {
  if (text.size() != length) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The blank-separated words of `text`.
std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while ((at = text.find_first_not_of(' ', at)) != std::string_view::npos) {
    const size_t end = std::min(text.find(' ', at), text.size());
    words.push_back(text.substr(at, end - at));
    at = end;
  }
  return words;
}

std::string TrimmedRight(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

bool ParseRun(std::string_view fields, RunMark* run) {
  const std::vector<std::string_view> words = Words(fields);
  if (words.size() != 5 || words[0].size() != 15 || words[0][8] != '-' ||
      !AllDigits(words[0].substr(0, 8), 8) || !AllDigits(words[0].substr(9), 6) ||
      !AllDigits(words[1], 8) || words[2].size() != 1 || !AllDigits(words[3], 4) ||
      !AllDigits(words[4], 4)) {
    return false;
  }
  run->started = words[0];
  run->statement_date = words[1];
  run->layout = words[2][0];
  run->owner_from = words[3];
  run->owner_to = words[4];
  return true;
}

bool ParseOwner(std::string_view fields, OwnerMark* owner) {
  // "0001 " + the tax identifier's fixed width, then the name after one blank.
  if (fields.size() < 5 + kMarkTaxIdWidth || !AllDigits(fields.substr(0, 4), 4) ||
      fields[4] != ' ') {
    return false;
  }
  owner->code = fields.substr(0, 4);
  owner->tax_id = fields.substr(5, kMarkTaxIdWidth);
  const std::string_view rest = fields.substr(5 + kMarkTaxIdWidth);
  if (!rest.empty() && rest[0] != ' ') return false;
  owner->name = TrimmedRight(std::string(rest.empty() ? rest : rest.substr(1)));
  owner->properties = -1;
  return true;
}

bool ParseOwnerEnd(std::string_view fields, OwnerMark* owner) {
  const std::vector<std::string_view> words = Words(fields);
  if (words.size() != 2 || !AllDigits(words[0], 4) || words[1].empty() ||
      !AllDigits(words[1], words[1].size()) || words[1].size() > 6) {
    return false;
  }
  owner->code = words[0];
  owner->properties = std::stoi(std::string(words[1]));
  return true;
}

}  // namespace

std::string RunDirective(const RunMark& mark) {
  std::string text(kRunMark);
  text += mark.started + " " + mark.statement_date + " " + std::string(1, mark.layout) + " " +
          mark.owner_from + " " + mark.owner_to;
  return text;
}

std::string OwnerDirective(const OwnerMark& mark) {
  std::string tax_id = SpoolText(mark.tax_id);
  tax_id.resize(kMarkTaxIdWidth, ' ');
  return std::string(kOwnerMark) + mark.code + " " + tax_id + " " +
         TrimmedRight(SpoolText(mark.name));
}

std::string OwnerEndDirective(std::string_view code, int32_t properties) {
  return std::string(kOwnerEndMark) + std::string(code) + " " + std::to_string(properties);
}

std::string IsoStarted(const RunMark& mark) {
  const std::string& s = mark.started;
  if (s.size() != 15) return {};
  return s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + "T" + s.substr(9, 2) + ":" +
         s.substr(11, 2) + ":" + s.substr(13, 2);
}

std::string YearAndLayout(const RunMark& mark) {
  return "-" + mark.statement_date.substr(0, 4) + "-" + std::string(1, mark.layout);
}

MarkKind ParseMark(std::string_view directive, RunMark* run, OwnerMark* owner) {
  if (directive.starts_with(kRunMark)) {
    return ParseRun(directive.substr(kRunMark.size()), run) ? MarkKind::kRun : MarkKind::kDamaged;
  }
  if (directive.starts_with(kOwnerEndMark)) {
    return ParseOwnerEnd(directive.substr(kOwnerEndMark.size()), owner) ? MarkKind::kOwnerEnd
                                                                        : MarkKind::kDamaged;
  }
  if (directive.starts_with(kOwnerMark)) {
    return ParseOwner(directive.substr(kOwnerMark.size()), owner) ? MarkKind::kOwner
                                                                  : MarkKind::kDamaged;
  }
  // A mark of a later version is passed over like any other directive.
  return MarkKind::kNone;
}

}  // namespace quarnell
