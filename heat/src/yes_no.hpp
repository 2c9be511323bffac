#pragma once

#include <string_view>

namespace heat {

// How the console shows a flag.
[[nodiscard]] constexpr std::string_view yesNo(bool flag) { return flag ? "yes" : "no"; }

}  // namespace heat
