// Feeds the rules reader arbitrary text and checks what must always hold:
// an error is one line that says where; rules it reads are within their
// bounds, and printed they read back to the same rules, printed the same
// (so -0.0 stays -0.0 and every factor its float).

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <variant>

#include "options/rules_file.hpp"

namespace {

void require(bool holds, std::string_view what, std::string_view detail) {
  if (!holds) {
    std::cerr << "invariant broken: " << what << " [" << detail << "]" << std::endl;
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input{data, size};
  const std::string text = input.ConsumeRemainingBytesAsString();
  const auto read = command_line::readRules("fuzz.toml", text);
  if (const auto* error = std::get_if<command_line::Error>(&read)) {
    require(
        error->message.starts_with("fuzz.toml:") && error->message.find('\n') == std::string::npos,
        "an error is one line that starts with the file's name", error->message);
    return 0;
  }
  const auto& rules = std::get<simulation::Rules>(read);
  const auto problem = simulation::rulesProblem(rules);
  require(!problem, "the rules read are within their bounds", problem ? problem->message : "");
  const std::string printed = command_line::printRules(rules);
  const auto back = command_line::readRules("printed.toml", printed);
  const auto* again = std::get_if<simulation::Rules>(&back);
  require(again != nullptr, "the rules printed read back",
          again == nullptr ? std::get<command_line::Error>(back).message : "");
  require(*again == rules, "the rules printed read back to the same rules", printed);
  require(command_line::printRules(*again) == printed, "the rules read back print the same",
          printed);
  return 0;
}
