// Packed forms of values that the form shows one way and files and the unit store another.
//
// A server address a.b.c.d packs into 32 bits with the first octet in the lowest byte; 0 stands
// both for "not a valid address" and for "server not used". The vibration and sleep encoders
// read and set controls and so are members of the main window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// 0 when the text (blanks and control characters trimmed) is not a dotted address of four
// octets 0..255; the fourth octet's text is all that follows the third dot.
std::int32_t ParseIPAddress(std::string_view text);

// The four bytes from the lowest up, in decimal, joined by `separator` ("." for the form,
// "," for the unit).
std::string UnpackIPAddress(std::int32_t packed, char separator = '.');
