#include <gtest/gtest.h>

#include <QApplication>
#include <csignal>
#include <cstdlib>

#include "support/temp_dir.h"

#include "support/private_data_folder.h"

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  UsePrivateDataFolder();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // An upload's automatic backup goes to the per-user data folder: the
  // tests' own, not the user's.
  testsupport::TempDir data;
  setenv("XDG_DATA_HOME", data.path().c_str(), 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
