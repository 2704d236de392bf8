#include "params/ParamFile.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>

#include "link/VestraError.h"

namespace {

// Cuts bytes into lines across reads of any size.
class TLineSplitter {
 public:
  // False once a zero byte has been met: nothing after it counts.
  bool Feed(const char* data, qint64 size) {
    const char* end = data + size;
    while (data < end) {
      if (AfterCR && *data == '\n') ++data;
      AfterCR = false;
      // Plain bytes in one run; only CR, LF and zero need a look.
      const char* stop =
          std::find_if(data, end, [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
      if (stop != data) {
        Current.append(data, static_cast<std::size_t>(stop - data));
        Open = true;
      }
      if (stop == end) break;
      if (*stop == '\0') return false;
      Lines.push_back(std::move(Current));
      Current.clear();
      Open = false;
      AfterCR = *stop == '\r';
      data = stop + 1;
    }
    return true;
  }

  std::vector<std::string> Finish() {
    if (Open) Lines.push_back(std::move(Current));
    return std::move(Lines);
  }

 private:
  std::vector<std::string> Lines;
  std::string Current;
  bool Open = false;     // the current line has at least one byte
  bool AfterCR = false;  // an LF right now completes a CR LF
};

std::string Describe(const char* what, const QString& fileName, const std::string& reason) {
  return std::string(what) + " " + fileName.toStdString() + ": " + reason;
}

}  // namespace

std::vector<std::string> ReadParamLines(QIODevice& device) {
  TLineSplitter splitter;
  char chunk[16384];
  for (;;) {
    qint64 got = device.read(chunk, sizeof chunk);
    if (got < 0) throw EVestraError(device.errorString().toStdString());
    if (got == 0 || !splitter.Feed(chunk, got)) break;
  }
  return splitter.Finish();
}

void WriteParamLines(QIODevice& device, const std::vector<std::string>& lines) {
  std::string bytes;
  for (const auto& line : lines) {
    if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
      throw EVestraError("Строка параметров содержит перевод строки или нулевой символ: " +
                         line.substr(0, line.find('=')));
    bytes.append(line).append("\r\n");
  }
  WriteWhole(device, bytes);
}

void WriteWhole(QIODevice& device, std::string_view bytes) {
  qint64 done = 0, size = static_cast<qint64>(bytes.size());
  while (done < size) {
    qint64 written = device.write(bytes.data() + done, size - done);
    if (written <= 0) {
      auto reason = device.errorString().toStdString();
      throw EVestraError(reason.empty() ? "запись прервана" : reason);
    }
    done += written;
  }
}

std::vector<std::string> ReadParamFile(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw EVestraError(
        Describe("Не удалось открыть файл", fileName, file.errorString().toStdString()));
  try {
    return ReadParamLines(file);
  } catch (const EVestraError& error) {
    throw EVestraError(Describe("Не удалось прочитать файл", fileName, error.what()));
  }
}

void WriteParamFile(const QString& fileName, const std::vector<std::string>& lines) {
  ReplaceFile(fileName, [&lines](QIODevice& file) { WriteParamLines(file, lines); });
}

void ReplaceFile(const QString& fileName, const std::function<void(QIODevice&)>& write) {
  // Until commit() everything goes to a temporary file; leaving this scope without a
  // successful commit discards it and keeps the old file whole.
  QSaveFile file(fileName);
  // Unbuffered, so that a short write shows in write() itself: commit() flushes a buffer
  // without looking at the result and would put a cut file in place of the old one.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
    throw EVestraError(
        Describe("Не удалось создать файл", fileName, file.errorString().toStdString()));
  try {
    write(file);
  } catch (const EVestraError& error) {
    throw EVestraError(Describe("Не удалось записать файл", fileName, error.what()));
  }
  if (!file.flush() || !file.commit())
    throw EVestraError(
        Describe("Не удалось записать файл", fileName, file.errorString().toStdString()));
}
