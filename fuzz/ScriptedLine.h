// A serial line without a device, for fuzzing the link: the interface of link/SerialPort.h over
// bytes that a fuzz target puts on the line.
//
// A read takes the oldest byte that has arrived and finds the line quiet as soon as none is
// left, at once: the quiet time that ends a burst on a real line costs nothing here, so the
// cutting of messages runs at the speed of its own code. Writes are taken whole and forgotten.
#pragma once

#include <string_view>

namespace ScriptedLine {

// Bytes the unit sent: read after every byte that arrived before them.
void Arrive(std::string_view bytes);
// The next read fails as a hang-up does (EIO), then the line works again.
void FailNextRead();
// Forgets what is waiting, for the next input.
void Clear();

}  // namespace ScriptedLine
