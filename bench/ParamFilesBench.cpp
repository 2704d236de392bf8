// Figures for parameter files and the parameter set: saving and loading through a real window,
// and what a file chosen by mistake costs to read (a binary stops at its first zero byte).
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <functional>

#include "form/FmMain.h"
#include "params/ParamFile.h"
#include "tests/support/ScriptedPerson.h"

namespace {

double MicrosecondsPerRun(int runs, const std::function<void()>& body) {
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < runs; ++i) body();
  std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
  return spent.count() / runs;
}

void MakeBigFile(const QString& name, qint64 bytes, bool zeroNearStart) {
  QFile file(name);
  if (!file.open(QIODevice::WriteOnly)) return;
  QByteArray block(1 << 20, 'x');
  for (int i = 79; i < block.size(); i += 80) block[i] = '\n';
  if (zeroNearStart) block[100] = '\0';
  for (qint64 done = 0; done < bytes; done += block.size()) {
    file.write(block);
    block[100] = 'x';
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  TScriptedPerson person;
  TFmMain form;
  form.SetPerson(&person);
  form.EdServer1->SetText("192.0.2.10");
  form.EdServer2->SetText("10.0.0.200");
  form.CBServer3->SetChecked(true);
  for (auto* phone : {form.CBPhone1, form.CBPhone2, form.CBPhone3}) phone->SetItemIndex(0);
  const QString name = dir.filePath("Vestra.ini");

  std::printf("gather 46 lines:                 %9.1f us\n",
              MicrosecondsPerRun(2000, [&] { form.GatherParameters(); }));
  std::printf("save (temporary file, fsync):    %9.1f us\n",
              MicrosecondsPerRun(200, [&] { WriteParamFile(name, form.ParamList.Lines()); }));
  std::printf("read 46-line file:               %9.1f us\n",
              MicrosecondsPerRun(2000, [&] { ReadParamFile(name); }));
  std::printf("apply 46-line file to the form:  %9.1f us\n",
              MicrosecondsPerRun(500, [&] { form.ApplyParameters(name); }));

  const qint64 big = 64LL << 20;
  const QString binary = dir.filePath("firmware.bin"), text = dir.filePath("log.txt");
  MakeBigFile(binary, big, true);
  MakeBigFile(text, big, false);
  std::printf("read 64 MiB, zero byte at 100:   %9.1f us\n",
              MicrosecondsPerRun(20, [&] { ReadParamFile(binary); }));
  std::printf("read 64 MiB text, no zero byte:  %9.1f us\n",
              MicrosecondsPerRun(1, [&] { ReadParamFile(text); }));
  form.SetPerson(nullptr);
  return person.Boxes.empty() ? 0 : 1;
}
