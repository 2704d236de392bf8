// The exchange log as a file a person opens on this system: UTF-8, every line ended. Notepad
// before Windows 10 of late 2018 breaks lines only at CR LF and may take UTF-8 without a
// byte-order mark for the ANSI code page, so a log saved on Windows has both; elsewhere the
// lines end with LF, as text files do there.
#pragma once

#include <QByteArray>
#include <QString>

enum class TLineEnds { Lf, CrLfWithBom };

#ifdef _WIN32
inline constexpr TLineEnds kSystemLineEnds = TLineEnds::CrLfWithBom;
#else
inline constexpr TLineEnds kSystemLineEnds = TLineEnds::Lf;
#endif

// The bytes of the file for `log` (its lines parted by "\n"), each line ended as `ends` says; an
// empty log has no line.
QByteArray LogFileBytes(const QString& log, TLineEnds ends);
