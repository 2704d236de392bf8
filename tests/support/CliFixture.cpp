#include "tests/support/CliFixture.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "link/Text.h"
#include "params/ParamFile.h"

TSimUnit& TCliTest::StartUnit(std::vector<std::string> args) {
  Unit.reset();
  // COM3 leads to a link of the test's own, as /dev/serial/by-id does: while no unit runs it
  // leads nowhere, so a station still probing COM3 never opens a terminal that the system has
  // handed to another test since.
  args.insert(args.end(), {"--link", UnitDevice()});
  Unit = std::make_unique<TSimUnit>(std::move(args));
  MapPort("COM3", UnitDevice());
  return *Unit;
}

std::string TCliTest::UnitDevice() const { return PathOf("unit.tty"); }

std::string TCliTest::PathOf(const std::string& name) const {
  return (Dir.path() + "/").toStdString() + name;
}

std::string TCliTest::WriteFile(const std::string& name, const std::string& bytes) const {
  const std::string path = PathOf(name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string TCliTest::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string TCliTest::SaveUnit(const std::string& name) {
  OpenWindow();
  MapPort("COM3", UnitDevice());
  Select("COM3");
  Window->ActReadExecute();
  EXPECT_TRUE(Window->GatherParameters());
  EXPECT_TRUE(Person.Boxes.empty());
  const std::string path = PathOf(name);
  WriteParamFile(QString::fromStdString(path), Window->ParamList.Lines());
  Window.reset();
  return path;
}

void TSlotsFixture::SetUp() {
  TCliTest::SetUp();
  StartUnit();
  Template = SaveUnit("template.ini");
  Unit.reset();
}

std::string TSlotsFixture::SlotPort(int slot) const {
  return PathOf("slot" + std::to_string(slot) + ".tty");
}

std::unique_ptr<TSimUnit> TSlotsFixture::Plug(int slot, std::vector<std::string> more) const {
  more.insert(more.end(), {"--link", SlotPort(slot)});
  return std::make_unique<TSimUnit>(std::move(more));
}

std::vector<std::string> TCliTest::CommandsUpTo(const std::string& command) {
  std::vector<std::string> commands;
  WaitUntil(
      [&] {
        commands = Unit->Commands();
        return std::find(commands.begin(), commands.end(), command) != commands.end();
      },
      std::chrono::seconds(5));
  return commands;
}

std::string Cp1251(const std::string& utf8) { return Utf8ToCp1251(utf8).value_or("?"); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}
