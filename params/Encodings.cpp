#include "params/Encodings.h"

#include "params/ParamList.h"
#include "params/ParamText.h"

std::int32_t ParseIPAddress(std::string_view text) {
  text = TrimControls(text);
  std::uint32_t packed = 0;
  for (int k = 0; k < 4; ++k) {
    std::string_view octet = text;
    if (k < 3) {
      auto dot = text.find('.');
      if (dot == std::string_view::npos) return 0;
      octet = text.substr(0, dot);
      text.remove_prefix(dot + 1);
    }
    // Text that is not a number counts as the octet 0 ("192.0.2.x" is 192.0.2.0).
    std::int32_t value = ToInteger(octet).value_or(0);
    if (value < 0 || value > 255) return 0;
    packed |= static_cast<std::uint32_t>(value) << (8 * k);
  }
  return static_cast<std::int32_t>(packed);
}

std::string UnpackIPAddress(std::int32_t packed, char separator) {
  auto bits = static_cast<std::uint32_t>(packed);
  std::string out;
  for (int k = 0; k < 4; ++k) {
    if (k > 0) out += separator;
    out += std::to_string((bits >> (8 * k)) & 0xFF);
  }
  return out;
}
