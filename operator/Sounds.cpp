#include "operator/Sounds.h"

#include <QSoundEffect>
#include <QUrl>
#include <array>

const char* SoundResource(TSound sound) {
  return sound == TSound::Done ? ":/vestra-station/done.wav" : ":/vestra-station/error.wav";
}

struct TSounds::TImpl {
  std::array<QSoundEffect, 2> Effects;
};

TSounds::TSounds() : Impl(std::make_unique<TImpl>()) {
  for (TSound sound : {TSound::Done, TSound::Error})
    Impl->Effects[static_cast<std::size_t>(sound)].setSource(
        QUrl(QString("qrc") + SoundResource(sound)));
}

TSounds::~TSounds() = default;

void TSounds::Play(TSound sound) {
  if (!On) return;
  QSoundEffect& effect = Impl->Effects[static_cast<std::size_t>(sound)];
  // Without an output device the effect never gets ready; it then stays silent.
  effect.play();
}
