// Drives the heat model with arbitrary sequences of operations and checks,
// after every step, what must always hold.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "heat/mech_heat_system.hpp"
#include "state_bits.hpp"

namespace {

using heat::MechHeatSystem;

[[noreturn]] void broken(std::string_view what, std::string_view detail = {}) {
  std::cerr << "invariant broken: " << what << " [" << detail << "]" << std::endl;
  std::abort();
}

void require(bool holds, std::string_view what, std::string_view detail = {}) {
  if (!holds) {
    broken(what, detail);
  }
}

bool isNumber(std::string_view text) {
  std::istringstream stream{std::string{text}};
  double value = 0.0;
  stream >> value;
  return !text.empty() && !stream.fail() && stream.peek() == EOF && std::isfinite(value);
}

bool isInteger(std::string_view text) {
  if (text.starts_with('-')) {
    text.remove_prefix(1);
  }
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool isYesNo(std::string_view text) { return text == "yes" || text == "no"; }

bool isEnvironmentName(std::string_view text) {
  for (std::int32_t value = -1; value <= 4; ++value) {
    if (text == heat::environmentName(static_cast<heat::Environment>(value))) {
      return true;
    }
  }
  return false;
}

enum class Value { None, Number, Integer, YesNo, EnvironmentName, HeatsinkType };

struct LineShape {
  std::string_view prefix;
  Value value;
  std::string_view suffix;
};

constexpr std::array kLineShapes{
    LineShape{"", Value::None, ""},
    LineShape{"Changing environment to: ", Value::EnvironmentName, ""},
    LineShape{"No coolant left in the tank!", Value::None, ""},
    LineShape{"Using ", Value::Integer, " liters of coolant..."},
    LineShape{"Remaining coolant: ", Value::Integer, " liters"},
    LineShape{"Updating cooling...", Value::None, ""},
    LineShape{"Cooling rate: ", Value::Number, ""},
    LineShape{"Heat rate: ", Value::Number, ""},
    LineShape{"New heat level: ", Value::Number, ""},
    LineShape{"Mech Status Report", Value::None, ""},
    LineShape{"Base Cooling Factor: ", Value::Number, ""},
    LineShape{"# of Heatsinks: ", Value::Integer, ""},
    LineShape{"Heatsink Type: ", Value::HeatsinkType, ""},
    LineShape{"Heatsink Damage: ", Value::Number, ""},
    LineShape{"Current Environment: ", Value::EnvironmentName, ""},
    LineShape{"Remaining Coolant: ", Value::Integer, " liters"},
    LineShape{"Rate of Heat Change: ", Value::Number, ""},
    LineShape{"Total Heat: ", Value::Number, ""},
    LineShape{"Is Overheated? ", Value::YesNo, ""},
    LineShape{"Critical Temperature? ", Value::YesNo, ""},
};

bool valueFits(Value value, std::string_view text) {
  switch (value) {
    case Value::None:
      return text.empty();
    case Value::Number:
      return isNumber(text);
    case Value::Integer:
      return isInteger(text);
    case Value::YesNo:
      return isYesNo(text);
    case Value::EnvironmentName:
      return isEnvironmentName(text);
    case Value::HeatsinkType:
      return text == "Single" || text == "Double";
  }
  return false;
}

bool isFlagLine(std::string_view line) {
  constexpr std::string_view kFirst = "Overheated? ";
  constexpr std::string_view kSecond = " Critical Temp? ";
  const auto second = line.find(kSecond);
  return line.starts_with(kFirst) && second != std::string_view::npos &&
         isYesNo(line.substr(kFirst.size(), second - kFirst.size())) &&
         isYesNo(line.substr(second + kSecond.size()));
}

bool fitsShape(std::string_view line, const LineShape& shape) {
  if (!line.starts_with(shape.prefix) || !line.ends_with(shape.suffix) ||
      line.size() < shape.prefix.size() + shape.suffix.size()) {
    return false;
  }
  const auto valueSize = line.size() - shape.prefix.size() - shape.suffix.size();
  return valueFits(shape.value, line.substr(shape.prefix.size(), valueSize));
}

bool hasKnownShape(std::string_view line) {
  return isFlagLine(line) || std::ranges::any_of(kLineShapes, [&](const LineShape& shape) {
           return fitsShape(line, shape);
         });
}

void checkLines(std::string_view output) {
  require(output.empty() || output.ends_with('\n'), "output ends with a whole line");
  while (!output.empty()) {
    const auto end = output.find('\n');
    require(hasKnownShape(output.substr(0, end)), "line shape", output.substr(0, end));
    output.remove_prefix(end + 1);
  }
}

void checkUpdate(const MechHeatSystem& mech, bool criticalBefore) {
  require(std::isfinite(mech.totalHeat) && mech.totalHeat >= 0.0, "heat level finite, not below 0");
  require(mech.pendingHeat == 0.0 && mech.coolantCooling == 0.0, "accumulators emptied");
  require(mech.overheated == (mech.totalHeat > 60.0), "overheated exactly above 60");
  require(criticalBefore || !mech.criticalTemperature || mech.totalHeat > 100.0,
          "critical only set above 100");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input{data, size};
  // Any mech the command line can start with.
  MechHeatSystem mech;
  mech.heatsinkCount = input.ConsumeIntegralInRange(0, 1'000);
  mech.heatsinkType = input.ConsumeBool() ? heat::HeatsinkType::Double : heat::HeatsinkType::Single;
  mech.coolantLiters = input.ConsumeIntegralInRange(0, 10'000);
  const std::int32_t fullTank = mech.coolantLiters;
  MechHeatSystem silent = mech;
  while (input.remaining_bytes() > 0) {
    std::ostringstream output;
    const std::int32_t litersBefore = mech.coolantLiters;
    const bool criticalBefore = mech.criticalTemperature;
    switch (input.ConsumeIntegralInRange(0, 5)) {
      case 0: {
        const auto environment =
            static_cast<heat::Environment>(input.ConsumeIntegral<std::int32_t>());
        mech.setEnvironment(environment, output);
        silent.setEnvironmentSilently(environment);
        break;
      }
      case 1: {
        const auto liters = input.ConsumeIntegral<std::int32_t>();
        mech.useCoolant(liters, output);
        static_cast<void>(silent.useCoolantSilently(liters));
        break;
      }
      case 2: {
        const double heat = input.ConsumeFloatingPointInRange(0.0, 1e6);
        mech.pendingHeat += heat;
        silent.pendingHeat += heat;
        break;
      }
      case 3: {
        const float damage = input.ConsumeFloatingPointInRange(0.0F, 1.0F);
        mech.heatsinkDamage += damage;
        silent.heatsinkDamage += damage;
        break;
      }
      case 4:
        mech.updateCooling(output);
        silent.updateCoolingSilently();
        checkUpdate(mech, criticalBefore);
        break;
      default:
        mech.printStatusReport(output);
        break;
    }
    require(mech.coolantLiters >= 0 && mech.coolantLiters <= fullTank,
            "tank within 0 and its start");
    require(mech.coolantLiters <= litersBefore, "tank never grows");
    require(test_support::stateBits(mech) == test_support::stateBits(silent),
            "silent steps leave the narrated state");
    checkLines(output.view());
  }
  return 0;
}
