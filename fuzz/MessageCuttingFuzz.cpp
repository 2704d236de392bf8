// The link's message cutter on bytes from the line: `TLink::ReadAnswer` over the scripted line.
//
// An input is a run of chunks: a control byte (bits 0-1: one to four reads after the burst; bits
// 6 and 7 both set: the first of them fails as a hang-up does), the burst's length in two bytes
// (low first, modulo 4096), and the burst. Every read must leave the receive buffer within its
// bounds and starting with a message's first byte, hand out nothing but a whole message of the
// bytes received, in their order, and hand out nothing only while no whole message is held.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "fuzz/ScriptedLine.h"
#include "link/Link.h"
#include "link/VestraError.h"

namespace {

constexpr std::size_t kMaxMessage = 1999;

bool IsStart(char c) { return c == '$' || c == '#'; }

class TCutterCheck {
 public:
  TLink Link{nullptr, nullptr};

  // One read, judged; false when it handed out nothing.
  bool Read(bool failing) {
    std::string message;
    try {
      if (failing) ScriptedLine::FailNextRead();
      message = Link.ReadAnswer();
      Require(!failing, "a failed read raises");
    } catch (const EVestraError&) {
      Require(failing, "only a failed read raises");
    }
    CheckBuffer();
    // A failing read may leave a whole message held: the next read hands it out.
    if (failing) return true;
    if (message.empty()) {
      Require(!HoldsMessage(), "nothing is handed out only while no whole message is held");
      return false;
    }
    CheckMessage(message);
    return true;
  }

  void Receive(std::string_view burst) {
    ScriptedLine::Arrive(burst);
    Received.append(burst);
  }

 private:
  std::string Received;      // every byte that came, in order
  std::size_t Consumed = 0;  // where the last message handed out ended in `Received`

  void CheckBuffer() const {
    Require(Link.RxCount >= 0 && static_cast<std::size_t>(Link.RxCount) <= kMaxMessage,
            "RxCount stays within the buffer");
    Require(Link.RxCount == 0 || IsStart(Link.RxBuffer[0]),
            "the buffer holds nothing before a message's first byte");
  }

  bool HoldsMessage() const {
    const char* end = Link.RxBuffer + Link.RxCount;
    return Link.RxCount > 0 && (std::find(Link.RxBuffer, end, '\r') != end ||
                                static_cast<std::size_t>(Link.RxCount) >= kMaxMessage);
  }

  void CheckMessage(const std::string& message) {
    Require(IsStart(message.front()), "a message begins with $ or #");
    const std::size_t cr = message.find('\r');
    Require(cr == message.size() - 1 || (cr == std::string::npos && message.size() == kMaxMessage),
            "a message ends at its first CR, or is 1999 bytes without one");
    const std::size_t at = Received.find(message, Consumed);
    Require(at != std::string::npos, "a message is bytes received, in their order");
    Consumed = at + message.size();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ScriptedLine::Clear();
  TCutterCheck check;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  while (!input.empty()) {
    const auto control = static_cast<unsigned char>(input[0]);
    std::size_t length = 0;
    if (input.size() >= 3)
      length = (static_cast<unsigned char>(input[1]) |
                static_cast<std::size_t>(static_cast<unsigned char>(input[2])) << 8) %
               4096;
    input.remove_prefix(std::min<std::size_t>(input.size(), 3));
    length = std::min(length, input.size());
    check.Receive(input.substr(0, length));
    input.remove_prefix(length);
    const int reads = 1 + (control & 3);
    const bool failing = (control & 0xC0) == 0xC0;
    for (int i = 0; i < reads; ++i) check.Read(failing && i == 0);
  }
  // What is left comes out message by message; each read takes at least one.
  for (int i = 0; i <= 2000 && check.Read(false); ++i) {
  }
  return 0;
}
