#include <windows.h>

#include <QFile>
#include <array>

#include "operator/Sounds.h"

const char* SoundResource(TSound sound) {
  return sound == TSound::Done ? ":/vestra-station/done.wav" : ":/vestra-station/error.wav";
}

// PlaySoundW plays a WAV image from memory, asynchronously; the image must live meanwhile.
struct TSounds::TImpl {
  std::array<QByteArray, 2> Images;
};

TSounds::TSounds() : Impl(std::make_unique<TImpl>()) {
  for (TSound sound : {TSound::Done, TSound::Error}) {
    QFile file(SoundResource(sound));
    if (file.open(QIODevice::ReadOnly))
      Impl->Images[static_cast<std::size_t>(sound)] = file.readAll();
  }
}

TSounds::~TSounds() { PlaySoundW(nullptr, nullptr, 0); }

void TSounds::Play(TSound sound) {
  const QByteArray& image = Impl->Images[static_cast<std::size_t>(sound)];
  if (!On || image.isEmpty()) return;
  PlaySoundW(reinterpret_cast<LPCWSTR>(image.constData()), nullptr,
             SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
}
