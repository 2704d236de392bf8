#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include "link/VestraError.h"
#include "params/ParamFile.h"

namespace {

using TLines = std::vector<std::string>;

TLines ReadBytes(const std::string& bytes) {
  QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  return ReadParamLines(buffer);
}

std::string FileBytes(const QString& name) {
  QFile file(name);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  return file.readAll().toStdString();
}

// An endless stream of bytes that counts what was taken from it.
class TEndlessDevice : public QIODevice {
 public:
  explicit TEndlessDevice(std::string head) : Head(std::move(head)) { open(QIODevice::ReadOnly); }
  qint64 Taken = 0;
  bool isSequential() const override { return true; }

 protected:
  qint64 readData(char* data, qint64 max) override {
    for (qint64 i = 0; i < max; ++i, ++Taken)
      data[i] = Taken < static_cast<qint64>(Head.size()) ? Head[Taken] : 'x';
    return max;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  std::string Head;
};

// A device that takes `room` bytes and then fails, as a full disk does.
class TFillingDevice : public QIODevice {
 public:
  explicit TFillingDevice(qint64 room) : Room(room) { open(QIODevice::WriteOnly); }
  std::string Got;

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override {
    qint64 n = std::min(size, Room - static_cast<qint64>(Got.size()));
    if (n <= 0) {
      setErrorString("No space left on device");
      return -1;
    }
    Got.append(data, static_cast<std::size_t>(n));
    return n;
  }

 private:
  qint64 Room;
};

}  // namespace

TEST(ParamFileReading, LineEndsAreCrLfLoneCrOrLoneLf) {
  EXPECT_EQ(ReadBytes("a=1\r\nb=2\rc=3\nd=4\r\n"), (TLines{"a=1", "b=2", "c=3", "d=4"}));
  EXPECT_EQ(ReadBytes("a\n\rb"), (TLines{"a", "", "b"}));  // LF CR is two line ends
  EXPECT_EQ(ReadBytes("a\r\r\nb"), (TLines{"a", "", "b"}));
}

TEST(ParamFileReading, LastLineWithoutEndCountsAndEmptyLinesStay) {
  EXPECT_EQ(ReadBytes(""), TLines{});
  EXPECT_EQ(ReadBytes("Period=4"), TLines{"Period=4"});
  EXPECT_EQ(ReadBytes("\r\n"), TLines{""});
  EXPECT_EQ(ReadBytes("a\r\n\r\n\nb\r\n"), (TLines{"a", "", "", "b"}));
}

TEST(ParamFileReading, StopsAtTheFirstZeroByte) {
  EXPECT_EQ(ReadBytes(std::string("a=1\r\nb=2\0c=3\r\n", 15)), (TLines{"a=1", "b=2"}));
  EXPECT_EQ(ReadBytes(std::string("a=1\r\n\0b", 7)), TLines{"a=1"});
  EXPECT_EQ(ReadBytes(std::string("\0a=1", 4)), TLines{});
}

TEST(ParamFileReading, AZeroByteEndsTheReadOfAnEndlessStream) {
  TEndlessDevice device(std::string("MZ\x90\0", 4));
  EXPECT_EQ(ReadParamLines(device), TLines{"MZ\x90"});
  EXPECT_LE(device.Taken, 65536);
}

TEST(ParamFileReading, LinesAreCutAlikeWhereverTheReadsSplitThem) {
  // A CR LF across the boundary of two reads is still one line end.
  std::string bytes(16383, 'k');
  bytes += "\r\nx=1\r";
  auto lines = ReadBytes(bytes);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 16383u);
  EXPECT_EQ(lines[1], "x=1");
}

TEST(ParamFileWriting, EveryLineEndsWithCrLfWithoutByteOrderMark) {
  QTemporaryDir dir;
  auto name = dir.filePath("Vestra.ini");
  WriteParamFile(name, {"AddrServer1=0", "", "GPRSSite=\xe8\xed\xf2\xe5\xf0\xed\xe5\xf2"});
  EXPECT_EQ(FileBytes(name), "AddrServer1=0\r\n\r\nGPRSSite=\xe8\xed\xf2\xe5\xf0\xed\xe5\xf2\r\n");
  EXPECT_EQ(ReadParamFile(name),
            (TLines{"AddrServer1=0", "", "GPRSSite=\xe8\xed\xf2\xe5\xf0\xed\xe5\xf2"}));
  WriteParamFile(name, {});
  EXPECT_EQ(FileBytes(name), "");
}

TEST(ParamFileWriting, LinesThatWouldReadBackAsOtherLinesAreRefused) {
  for (const std::string& bad : TLines{"a=1\r2", "a=1\n2", std::string("a=1\0002", 5)}) {
    TFillingDevice device(1000);
    EXPECT_THROW(WriteParamLines(device, {"ok=1", bad}), EVestraError);
    EXPECT_EQ(device.Got, "");
  }
}

TEST(ParamFileWriting, ADeviceThatFillsUpPartWayIsAFailure) {
  TFillingDevice device(10);
  EXPECT_THROW(WriteParamLines(device, {"AddrServer1=167903424", "Period=4"}), EVestraError);
  EXPECT_EQ(device.Got, "AddrServer");
}

TEST(ParamFileErrors, MissingFileOrFolderRaisesWithTheFileName) {
  QTemporaryDir dir;
  auto missing = dir.filePath("none/Vestra.ini");
  try {
    ReadParamFile(missing);
    ADD_FAILURE();
  } catch (const EVestraError& error) {
    EXPECT_EQ(
        std::string(error.what()).rfind("Не удалось открыть файл " + missing.toStdString(), 0), 0u)
        << error.what();
  }
  EXPECT_THROW(WriteParamFile(missing, {"a=1"}), EVestraError);
  EXPECT_THROW(ReadParamFile(dir.path()), EVestraError);  // a folder is no parameter file
}
