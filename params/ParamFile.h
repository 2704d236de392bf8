// Parameter files: the lines of the parameter set on disk.
//
// A file is Windows-1251 text without a byte-order mark, one "key=value" entry per line.
// Writing ends every line, the last one included, with CR LF. Reading takes CR LF, a lone CR
// or a lone LF as a line end, counts a last line without an end, keeps empty lines and stops at
// the first zero byte, so that a binary file chosen by mistake is read only up to its first
// zero byte rather than whole.
//
// Saving goes through a temporary file in the target's folder that replaces the target only
// once everything has been written and flushed: a save that fails part way leaves the old file
// as it was. Failures raise EVestraError with a Russian text that names the file.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QIODevice;

// Lines from the device's current position up to its end or the first zero byte. Raises on a
// read error.
std::vector<std::string> ReadParamLines(QIODevice& device);

// Every line followed by CR LF. Raises when the device takes less than all, or when a line
// holds a CR, LF or zero byte, which would read back as other lines.
void WriteParamLines(QIODevice& device, const std::vector<std::string>& lines);

std::vector<std::string> ReadParamFile(const QString& fileName);
void WriteParamFile(const QString& fileName, const std::vector<std::string>& lines);

// The safe replace of a save, for any file the program writes: `write` fills a temporary file
// that takes the file's place only when it and the flush succeeded.
void ReplaceFile(const QString& fileName, const std::function<void(QIODevice&)>& write);
// All of `bytes`, or raises with the device's text.
void WriteWhole(QIODevice& device, std::string_view bytes);
