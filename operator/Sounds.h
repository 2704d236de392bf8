// The station's two sounds: "записано и проверено" and an error (a failed unit, a refused
// scan), from WAV files built into the program. Played where the system can; where it cannot
// (no sound device, as on a build machine) nothing is heard and nothing fails. One file per
// system: Qt Multimedia on Linux, the Windows sound API there.
#pragma once

#include <memory>

enum class TSound { Done, Error };

class TSounds {
 public:
  TSounds();
  ~TSounds();
  TSounds(const TSounds&) = delete;
  TSounds& operator=(const TSounds&) = delete;

  void Play(TSound sound);
  bool On = true;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> Impl;
};

// The resource each sound is in.
const char* SoundResource(TSound sound);
