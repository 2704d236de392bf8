// The parameter-file reader on any file, and its writer on what it read.
//
// The lines read hold no CR, LF or zero byte, are those of the bytes before the file's first
// zero byte, and once written and read again are the same lines; the writer ends each with CR
// LF and adds nothing else.
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "link/VestraError.h"
#include "params/ParamFile.h"

namespace {

std::vector<std::string> Read(const TScratchFile& file, std::string_view bytes) {
  file.Write(bytes);
  try {
    return ReadParamFile(file.Name());
  } catch (const EVestraError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    Require(false, "a file that can be opened is read");
  }
  return {};
}

std::string FileBytes(const QString& name) {
  std::ifstream in(name.toStdString(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const TScratchFile input("input.txt"), written("written.txt");
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = Read(input, bytes);
  for (const std::string& line : lines)
    Require(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
            "a line holds no CR, LF or zero byte");
  const std::size_t zero = bytes.find('\0');
  if (zero != std::string_view::npos)
    Require(Read(input, bytes.substr(0, zero)) == lines, "nothing after a zero byte counts");

  try {
    WriteParamFile(written.Name(), lines);
  } catch (const EVestraError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    Require(false, "lines that were read can be written");
  }
  std::string expected;
  for (const std::string& line : lines) expected += line + "\r\n";
  const std::string again = FileBytes(written.Name());
  Require(again == expected, "the writer ends every line with CR LF and adds nothing");
  Require(Read(input, again) == lines, "what was written reads as the same lines");
  return 0;
}
