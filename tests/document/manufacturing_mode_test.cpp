#include "tarkon/document/manufacturing_mode.h"

#include <gtest/gtest.h>

namespace {

TEST(ManufacturingMode, OnlyTheExactSwitchTurnsItOn) {
  EXPECT_TRUE(ManufacturingModeFromCommandLine("-QZX"));
  EXPECT_FALSE(ManufacturingModeFromCommandLine("-qzx"));
  EXPECT_FALSE(ManufacturingModeFromCommandLine("-QZX "));
  EXPECT_FALSE(ManufacturingModeFromCommandLine("-QZX file.krv02"));
  EXPECT_FALSE(ManufacturingModeFromCommandLine(" -QZX"));
  EXPECT_FALSE(ManufacturingModeFromCommandLine("-QZ"));
  EXPECT_FALSE(ManufacturingModeFromCommandLine(""));
  EXPECT_FALSE(ManufacturingModeFromCommandLine(nullptr));
}

TEST(ManufacturingMode, ArgumentsMustBeExactlyTheSwitch) {
  const char* exact[] = {"tarkon", "-QZX"};
  EXPECT_TRUE(ManufacturingModeFromArguments(2, exact));
  const char* none[] = {"tarkon"};
  EXPECT_FALSE(ManufacturingModeFromArguments(1, none));
  const char* lower[] = {"tarkon", "-qzx"};
  EXPECT_FALSE(ManufacturingModeFromArguments(2, lower));
  const char* blank[] = {"tarkon", "-QZX "};
  EXPECT_FALSE(ManufacturingModeFromArguments(2, blank));
  const char* extra[] = {"tarkon", "-QZX", "sensor.krv02"};
  EXPECT_FALSE(ManufacturingModeFromArguments(3, extra));
  const char* empty[] = {"tarkon", "-QZX", ""};
  EXPECT_FALSE(ManufacturingModeFromArguments(3, empty));
  const char* before[] = {"tarkon", "x", "-QZX"};
  EXPECT_FALSE(ManufacturingModeFromArguments(3, before));
}

}  // namespace
