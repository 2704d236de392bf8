// The code table's write conversions over a parameter set made of any lines.
//
// An input is a firmware version number (four bytes, low first) and the lines of the parameter
// set, split at LF (so that a value may hold a CR). For every row of the table the value text
// sent must be formed without raising, hold a control character only when a value it is formed
// from holds that character (a CR would cut the command short on the line), and the packed
// conversions give digits and commas alone.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "params/ParamList.h"
#include "transfer/CodeTable.h"

namespace {

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; }

TParamList ParamsOf(std::string_view text) {
  std::vector<std::string> lines;
  for (std::size_t from = 0; from <= text.size();) {
    const std::size_t end = std::min(text.find('\n', from), text.size());
    lines.emplace_back(text.substr(from, end - from));
    from = end + 1;
  }
  TParamList params;
  params.Assign(std::move(lines));
  return params;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint32_t bits = 0;
  for (std::size_t i = 0; i < 4 && i < size; ++i) bits |= std::uint32_t{data[i]} << (8 * i);
  std::int32_t version = 0;
  std::memcpy(&version, &bits, sizeof version);
  const std::size_t skip = std::min<std::size_t>(size, 4);
  const TParamList params =
      ParamsOf(std::string_view(reinterpret_cast<const char*>(data) + skip, size - skip));

  for (const TCodeRow& row : CodeTable()) {
    const std::string value = FormWriteValue(row, params, version);
    std::string sources;
    for (std::string_view key : row.Write.Keys)
      if (!key.empty()) sources += params.Value(key);
    for (char c : value)
      Require(!IsControl(c) || sources.find(c) != std::string::npos,
              "a control character is sent only when a value held it");
    const auto conversion = row.Write.Conversion;
    if (conversion == TWriteConversion::SensorBits || conversion == TWriteConversion::ServerBytes)
      for (char c : value)
        Require((c >= '0' && c <= '9') || c == ',', "a packed value is digits and commas");
  }
  return 0;
}
