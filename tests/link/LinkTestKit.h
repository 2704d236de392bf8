// A link opened on a simulated unit of its own, with a scripted person watching: the common
// ground of the link tests.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>

#include <string>
#include <vector>

#include "link/Link.h"
#include "tests/support/ScriptedPerson.h"
#include "tests/support/SimUnit.h"

struct TLinkedUnit {
  TScriptedPerson Person;
  TSimUnit Sim;
  TLink Link;

  explicit TLinkedUnit(std::vector<std::string> args = {})
      : Sim(std::move(args)), Link(&Person, [this](const std::string&) { return Sim.PtyPath(); }) {
    EXPECT_EQ(Link.OpenPort("COM3"), "");
  }

  // The bytes the link holds and has not handed out yet.
  std::string Held() const { return std::string(Link.RxBuffer, Link.RxBuffer + Link.RxCount); }

  // Puts bytes on the line as one burst and waits until the first of them has arrived, so that
  // the next read finds the burst whatever the machine's load.
  void Burst(const std::string& bytes) {
    Sim.Send(bytes);
    AwaitInput();
  }

  // Waits until the port has something to read.
  void AwaitInput() {
    pollfd p{static_cast<int>(Link.PortHandle), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1) << "nothing arrived";
  }
};
