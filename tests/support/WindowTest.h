// The ground of the window tests: a clean settings store for every test, and real main windows
// that speak to a scripted person instead of showing dialogs.
//
// `TWindowTestWith<P>` takes the kind of scripted person (a suite may watch more than the boxes);
// `TWindowTest` is the plain one. A suite derives its fixture from either and keeps its own
// helpers there.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "form/FmMain.h"
#include "tests/support/ScriptedPerson.h"
#include "tests/support/SimUnit.h"

// Empties the program's settings store, so that nothing an earlier window kept reaches the next.
void ClearSettingsStore();
// Maps the port name `port` ("COM3") to the device `path` in the settings store, where the
// window looks it up when it opens the port.
void MapPort(const std::string& port, const std::string& path);
// Selects the port name `port` in `window`'s port list.
void SelectPort(TFmMain& window, const std::string& port);

template <class TPersonKind>
class TWindowTestWith : public ::testing::Test {
 protected:
  void SetUp() override { ClearSettingsStore(); }
  // The window goes first, while the person it speaks to still stands.
  void TearDown() override { Window.reset(); }

  // A fresh window as the program makes it, speaking to `Person`.
  std::unique_ptr<TFmMain> NewWindow() {
    auto window = std::make_unique<TFmMain>();
    window->SetPerson(&Person);
    return window;
  }
  // Makes `Window` a fresh one; an earlier one goes first, as at a restart of the program.
  virtual void OpenWindow() {
    Window.reset();
    Window = NewWindow();
  }

  // Selects `port` in `Window`.
  void Select(const std::string& port) { SelectPort(*Window, port); }
  // Puts `unit` behind the port name `port` and selects that port in `Window`.
  void PlugIn(const std::string& port, const TSimUnit& unit) {
    MapPort(port, unit.PtyPath());
    Select(port);
  }
  // Whether `Window`'s link holds its port open.
  bool PortOpen() const { return Window->Link.PortHandle >= 0; }

  TPersonKind Person;
  std::unique_ptr<TFmMain> Window;  // the test's window, once OpenWindow made it
};

using TWindowTest = TWindowTestWith<TScriptedPerson>;
