// Choosing a model string for "Set Model Name" by its text.

#include "tarkon/document/serial_and_model.h"

#include <gtest/gtest.h>

namespace {

TEST(SerialAndModel, SelectModelStringChoosesTheTablesEntryOrRefuses) {
  SensorCommands commands;
  SerialAndModel dialog(commands);
  ASSERT_GE(dialog.entries().size(), 2u);
  const std::string second = dialog.entries()[1].value;
  EXPECT_EQ(dialog.SelectModelString(second), "");
  EXPECT_EQ(dialog.selection(), 1);
  std::string list;
  for (const SerialAndModel::Entry& e : dialog.entries()) list += "\n  " + e.text;
  EXPECT_EQ(dialog.SelectModelString("no such model"), "not a model string of the table:" + list);
  EXPECT_EQ(dialog.selection(), 1) << "a refusal keeps the choice";
}

}  // namespace
