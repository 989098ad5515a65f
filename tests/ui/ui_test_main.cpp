#include <gtest/gtest.h>

#include <QApplication>
#include <csignal>

#include "support/private_data_folder.h"

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  UsePrivateDataFolder();
  // The widgets are driven offscreen, also when the tests are listed.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
