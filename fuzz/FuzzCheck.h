// What the fuzz targets' oracles share: a check that stops the run, so that libFuzzer keeps the
// input that broke it, and a scratch file for the readers that take a file name.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string_view>

// Stops the run when `holds` is false, naming the broken invariant.
inline void Require(bool holds, const char* invariant) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", invariant);
  std::abort();
}

// A file in a folder of this process's own, rewritten for every input.
class TScratchFile {
 public:
  explicit TScratchFile(const char* name) : Path(Folder.filePath(QString::fromUtf8(name))) {
    Require(Folder.isValid(), "a temporary folder can be made");
  }

  const QString& Name() const { return Path; }

  void Write(std::string_view bytes) const {
    std::ofstream out(Path.toStdString(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    Require(out.good(), "the scratch file takes the input");
  }

 private:
  QTemporaryDir Folder;
  QString Path;
};
