#include <gtest/gtest.h>

#include <csignal>

#include "support/private_data_folder.h"

int main(int argc, char** argv) {
  // A peer that closes its side of a line must not kill the test program.
#ifdef SIGPIPE  // Windows has no such signal
  std::signal(SIGPIPE, SIG_IGN);
#endif
  UsePrivateDataFolder();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
