// Packed forms of values that the form shows one way and files and the unit store another.
//
// A server address a.b.c.d packs into 32 bits with the first octet in the lowest byte; 0 stands
// both for "not a valid address" and for "server not used". The vibration sensor and the
// sleeping mode are each one number in files and the unit, several controls in the form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TFormValues;

// 0 when the text (blanks and control characters trimmed) is not a dotted address of four
// octets 0..255; the fourth octet's text is all that follows the third dot.
std::int32_t ParseIPAddress(std::string_view text);

// The four bytes from the lowest up, in decimal, joined by `separator` ("." for the form,
// "," for the unit).
std::string UnpackIPAddress(std::int32_t packed, char separator = '.');

// The vibration sensor: 0 off; else its sensitivity, plus 128 for the double knock.
int EncodeVibroMode(const TFormValues& values);
void DecodeVibroMode(TFormValues& values, int value);
// The sleeping mode: bit 0 on, bit 1 messages while asleep, bit 2 woken by the buttons.
// Decoding runs the sleep rule.
int EncodeSleepMode(const TFormValues& values);
void DecodeSleepMode(TFormValues& values, int value);
