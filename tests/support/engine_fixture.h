// What every engine test starts from: a program folder with its temporary folder, scripted
// answers, block numbers for texts, "out" for segments and "back" for what is joined.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/engine.h"
#include "test_support.h"

namespace pz::test {

class EngineFixture : public ::testing::Test {
 protected:
  EngineFixture() : ctx(ui, texts, dir.Sub("program")) { dir.Sub("program/temp_parzello"); }

  TempDir dir;
  BlockNumbers texts;
  ScriptedInteraction ui;
  EngineContext ctx;
  std::string out = dir.Sub("out");
  std::string back = dir.Sub("back");
};

}  // namespace pz::test
