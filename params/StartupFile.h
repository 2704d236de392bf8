// The start-up parameter file "Vestra.ini": the one beside the program unless the program is
// installed under `InstalledPrefix` (its folder belongs to the package manager and holds no
// person's file), else the one in `SystemFolder`. Every face applies the same file.
#pragma once

#include <QString>

struct TStartupFile {
  // The system-wide file's folder, where a package manager keeps a person's edits. Tests point
  // it at a folder of their own, so that the machine's file never reaches them.
  static inline QString SystemFolder = "/etc/vestra";
  static inline QString InstalledPrefix = "/usr/";
  // The file to apply; empty when none exists.
  static QString Name();
};
