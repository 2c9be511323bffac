// The reader of rules files, the one user of toml++ (without exceptions, see
// cmake/TomlPlusPlus.cmake).
#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "options/rules_file.hpp"
#include "rule_problems.hpp"

namespace command_line {
namespace {

using simulation::kRuleNames;
using simulation::RuleType;

// A key or value of a rules file, and where it starts.
struct Entry {
  std::string name;  // as a message shows it: "heat.max", heat."a b"
  std::optional<std::size_t> rule;
  const toml::node* node;
  toml::source_position key;
};

// `text` with its control characters escaped as TOML writes them, \u000a.
std::string escaped(std::string_view text) {
  std::string plain;
  for (const char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x20 || code == 0x7f) {
      constexpr std::string_view kDigits = "0123456789abcdef";
      plain.append("\\u00").append(1, kDigits[code / 16]).append(1, kDigits[code % 16]);
    } else {
      plain.append(1, c);
    }
  }
  return plain;
}

// What a file says at a place, on one line: "NAME:LINE:COLUMN: MESSAGE".
// toml++'s messages quote what they read, a line's end too.
Error at(std::string_view name, const toml::source_position& where, std::string_view message) {
  return Error{escaped(std::string{name} + ":" + std::to_string(where.line) + ":" +
                       std::to_string(where.column) + ": " + std::string{message})};
}

// A key as a message shows it: bare when TOML would write it so, else in
// quotes with its control characters, quotes and backslashes escaped; a
// long one cut short, between two characters, followed by "...".
std::string keyText(std::string_view key) {
  constexpr std::size_t kMostShown = 40;
  const auto continuing = [](char c) { return (static_cast<unsigned char>(c) & 0xC0U) == 0x80U; };
  std::string_view shown = key.substr(0, kMostShown);
  while (shown.size() < key.size() && continuing(key[shown.size()])) {
    shown.remove_suffix(1);
  }
  const std::string_view more = shown.size() < key.size() ? "..." : "";
  constexpr std::string_view kBare =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  if (!key.empty() && key.find_first_not_of(kBare) == std::string_view::npos) {
    return std::string{shown} + std::string{more};
  }
  std::string text = "\"";
  for (const char c : shown) {
    text.append(c == '"' || c == '\\' ? "\\" : "").append(1, c);
  }
  return escaped(text) + std::string{more} + "\"";
}

// Whether `key` names a table of rules, "heat" of heat.min.
bool isTable(std::string_view key) {
  return std::ranges::any_of(kRuleNames, [&](const simulation::RuleName& known) {
    return known.name.starts_with(key) && known.name.substr(key.size()).starts_with('.');
  });
}

// The keys of the file, a table of rules' keys in place of the table, in
// the order they are written.
std::vector<Entry> entries(const toml::table& top) {
  std::vector<Entry> all;
  for (const auto& [key, node] : top) {
    const toml::table* rules = node.as_table();
    if (rules == nullptr || !isTable(key.str())) {
      const auto rule = simulation::ruleNamed(key.str());
      const bool topLevel = rule && kRuleNames.at(*rule).name.find('.') == std::string_view::npos;
      all.push_back(
          {keyText(key.str()), topLevel ? rule : std::nullopt, &node, key.source().begin});
      continue;
    }
    for (const auto& [inner, value] : *rules) {
      // A quoted key with a dot in it makes no rule's name, which has one.
      const std::string name = std::string{key.str()} + "." + std::string{inner.str()};
      all.push_back({std::string{key.str()} + "." + keyText(inner.str()),
                     simulation::ruleNamed(name), &value, inner.source().begin});
    }
  }
  std::ranges::sort(all, [](const Entry& left, const Entry& right) {
    return std::pair{left.key.line, left.key.column} < std::pair{right.key.line, right.key.column};
  });
  return all;
}

// The most dots a rules file may have outside its comments and strings: its
// keys and numbers need a few dozen. Each dot of a key nests a table, which
// toml++ walks and frees recursively, so that many would end the program
// on its stack (1 MB on Windows and in the web page) before any message.
constexpr std::size_t kMostDots = 1000;

// How many of `quote` follow one another in `text` from `at`.
std::size_t quotesAt(std::string_view text, std::size_t at, char quote) {
  const std::size_t end = text.find_first_not_of(quote, at);
  return (end == std::string_view::npos ? text.size() : end) - at;
}

// Where a TOML text is, character by character: among keys and values, in
// a comment or in a string. Strings are followed as TOML writes them up to
// its first error, past which toml++ makes no tables.
class Place {
 public:
  // Moves past text[at]; whether it is a dot among keys and values.
  bool passDot(std::string_view text, std::size_t at) {
    // An escaped character, a quote say, ends nothing; nor the quotes of a
    // long string's delimiter after its first.
    if (escaped_ || skipped_ > 0) {
      escaped_ = false;
      skipped_ -= skipped_ > 0 ? 1 : 0;
      return false;
    }
    switch (in_) {
      case In::Keys:
        return passInKeys(text, at);
      case In::Comment:
        in_ = text[at] == '\n' ? In::Keys : in_;
        return false;
      default:
        passInString(text, at);
        return false;
    }
  }

 private:
  enum class In : std::uint8_t { Keys, Comment, Basic, Literal, LongBasic, LongLiteral };

  bool passInKeys(std::string_view text, std::size_t at) {
    const char c = text[at];
    if (c == '"' || c == '\'') {
      const bool opensLong = quotesAt(text, at, c) >= 3;
      in_ = c == '"' ? (opensLong ? In::LongBasic : In::Basic)
                     : (opensLong ? In::LongLiteral : In::Literal);
      skipped_ = opensLong ? 2 : 0;
    }
    in_ = c == '#' ? In::Comment : in_;
    return c == '.';
  }

  void passInString(std::string_view text, std::size_t at) {
    const char c = text[at];
    const bool basic = in_ == In::Basic || in_ == In::LongBasic;
    const bool isLong = in_ == In::LongBasic || in_ == In::LongLiteral;
    escaped_ = basic && c == '\\';
    // A short string left open at its line's end is an error, where toml++ stops.
    if (c == (basic ? '"' : '\'')) {
      // One quote ends a short string; three a long one, with up to two
      // before them in it.
      const std::size_t run = isLong ? std::min<std::size_t>(quotesAt(text, at, c), 5) : 1;
      in_ = !isLong || run >= 3 ? In::Keys : in_;
      skipped_ = run - 1;
    }
  }

  In in_ = In::Keys;
  bool escaped_ = false;     // the character before was a backslash of a basic string
  std::size_t skipped_ = 0;  // quotes of a long string's delimiter, still to pass
};

// Where the text has its dot after kMostDots outside comments and strings,
// if it has one.
std::optional<toml::source_position> tooManyDots(std::string_view text) {
  Place place;
  std::size_t dots = 0;
  toml::source_position where{1, 0};
  for (std::size_t at = 0; at < text.size(); ++at) {
    // Columns count characters, as toml++'s do, not UTF-8's continuing bytes.
    where.column += (static_cast<unsigned char>(text[at]) & 0xC0U) == 0x80U ? 0U : 1U;
    if (text[at] == '\n') {
      ++where.line;
      where.column = 0;
    }
    dots += place.passDot(text, at) ? 1U : 0U;
    if (dots > kMostDots) {
      return where;
    }
  }
  return std::nullopt;
}

// What a TOML value gives a rule of `type`, if it is of a type the rule takes.
std::optional<simulation::RuleValue> valueOf(const toml::node& node, RuleType type) {
  if (type == RuleType::WholeList) {
    const toml::array* list = node.as_array();
    if (list == nullptr) {
      return std::nullopt;
    }
    std::vector<std::int64_t> values;
    for (const toml::node& entry : *list) {
      const auto* whole = entry.as_integer();
      if (whole == nullptr) {
        return std::nullopt;
      }
      values.push_back(whole->get());
    }
    return values;
  }
  if (const auto* whole = node.as_integer()) {
    return whole->get();
  }
  // A whole-number rule's setRule takes no number with a point.
  if (const auto* number = node.as_floating_point()) {
    return number->get();
  }
  return std::nullopt;
}

}  // namespace

std::variant<simulation::Rules, Error> readRules(std::string_view name, std::string_view text,
                                                 const simulation::Rules& start) {
  if (const auto where = tooManyDots(text)) {
    return at(name, *where,
              "more than " + std::to_string(kMostDots) + " dots outside comments and strings");
  }
  const toml::parse_result parsed = toml::parse(text, name);
  if (!parsed) {
    return at(name, parsed.error().source().begin, parsed.error().description());
  }
  simulation::Rules rules = start;
  std::vector<std::size_t> changed;
  std::vector<toml::source_position> places;
  for (const Entry& entry : entries(parsed.table())) {
    if (!entry.rule) {
      return at(name, entry.key, "unknown rule '" + entry.name + "'");
    }
    const auto value = valueOf(*entry.node, kRuleNames.at(*entry.rule).type);
    if (!value || !simulation::setRule(rules, *entry.rule, *value)) {
      return at(name, entry.node->source().begin, ruleBounds(*entry.rule));
    }
    changed.push_back(*entry.rule);
    places.push_back(entry.node->source().begin);
  }
  if (const auto problem = simulation::rulesProblem(rules)) {
    const auto blame = blamed(start, rules, changed, *problem);
    const std::string message =
        problemText(rules, *problem, blame ? std::optional{changed[*blame]} : std::nullopt);
    if (!blame) {
      return Error{escaped(std::string{name} + ": " + message)};
    }
    return at(name, places[*blame], message);
  }
  return rules;
}

std::variant<simulation::Rules, Error> readRulesFile(const std::string& path,
                                                     const simulation::Rules& start) {
  const auto cannot = [&](std::string_view reason) {
    return Error{"cannot read rules " + path + ": " + std::string{reason}};
  };
  errno = 0;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{std::fopen(path.c_str(), "rb"),
                                                             &std::fclose};
  if (!file) {
    return cannot(std::strerror(errno));
  }
  // A block past the most that is read tells a file that holds more.
  std::string text;
  std::array<char, 1 << 16> block{};
  for (std::size_t got = block.size(); got == block.size() && text.size() <= kMostRulesBytes;) {
    got = std::fread(block.data(), 1, block.size(), file.get());
    text.append(block.data(), got);
  }
  if (std::ferror(file.get()) != 0) {
    return cannot(std::strerror(errno));
  }
  if (text.size() > kMostRulesBytes) {
    return cannot("it holds more than " + std::to_string(kMostRulesBytes) + " bytes");
  }
  return readRules(path, text, start);
}

}  // namespace command_line
