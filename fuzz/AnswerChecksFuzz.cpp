// The judgement of the unit's answers and of its firmware version, on any text the line brings.
//
// `CheckAnswerError` raises or says "not supported" only for an answer that holds "#ERR";
// `RequireOk` raises exactly when "#OK" is missing; `VersionNumber` raises nothing but
// EVestraError, ignores blanks around the text, and a version number it gave, written again as
// a version text, gives the same number. Any other exception escapes and is a fault.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "link/Link.h"
#include "link/VestraError.h"
#include "transfer/CodeTable.h"

namespace {

void CheckAnswerError(TLink& link, const std::string& answer) {
  const bool error = answer.find("#ERR") != std::string::npos;
  try {
    const bool supported = link.CheckAnswerError(answer);
    Require(supported == !error,
            "an answer without #ERR is no error, and #ERR2 is 'not supported'");
  } catch (const EVestraError&) {
    Require(error, "only an answer with #ERR raises");
  }
}

void CheckRequireOk(const std::string& answer) {
  bool raised = false;
  try {
    TLink::RequireOk(answer);
  } catch (const EVestraError&) {
    raised = true;
  }
  Require(raised == (answer.find("#OK") == std::string::npos), "RequireOk raises without #OK");
}

std::optional<int> Version(const std::string& text) {
  try {
    return VersionNumber(text);
  } catch (const EVestraError&) {
    return std::nullopt;
  }
}

void CheckVersion(const std::string& text) {
  const std::optional<int> number = Version(text);
  Require(Version(" " + text + "  ") == number, "blanks around a version text change nothing");
  // Texts below zero are absurd, and the lift of 0.001 moves them away from their hundredth.
  if (!number || *number < 0) return;
  char again[32];
  std::snprintf(again, sizeof again, "%d.%02d", *number / 100, *number % 100);
  Require(Version(again) == number, "a version number written as a version text reads the same");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TLink link(nullptr, nullptr);
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckAnswerError(link, text);
  CheckRequireOk(text);
  CheckVersion(text);
  return 0;
}
