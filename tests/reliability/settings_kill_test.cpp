// A program killed while it saves its settings must never leave "tarkon.ini"
// truncated or empty: a child process saves two different contents in turn
// as fast as it can and is killed at random moments; after every kill the
// file must be exactly one of the two and load with all its settings.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "reliability/reliability_support.h"
#include "tarkon/document/settings_file.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A full file (24 sections of 24 entries, about 150 kB) whose values are
// made of `fill` and whose port is `port`, so a save takes long enough for
// kills to land inside it.
void Fill(SettingsFile& file, char fill, int32_t port) {
  SettingsFile::SerialValues values;
  values.port = port;
  file.WriteSerialSettings(values);
  for (size_t s = 1; s < SettingsFile::kMaxSections; ++s) {
    const std::string section = "Section " + std::to_string(s);
    for (size_t k = 0; k < SettingsFile::kMaxEntries; ++k) {
      ASSERT_TRUE(file.SetText(section, "Key " + std::to_string(k), std::string(250, fill)));
    }
  }
}

size_t LeftoverTemporaryFiles(const std::string& dir) {
  size_t n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().filename().string() != SettingsFile::kFileName) ++n;
  }
  return n;
}

TEST(SettingsFileKill, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewFile) {
  reliability::Watchdog watchdog(120, "settings kill test");
  reliability::TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string path = dir.File(SettingsFile::kFileName);

  // The two contents as the program writes them.
  SettingsFile first(path);
  Fill(first, 'a', 1);
  ASSERT_TRUE(first.Save()) << first.lastError();
  const std::string contentA = ReadFile(path);
  SettingsFile second(path);
  Fill(second, 'b', 2);
  ASSERT_TRUE(second.Save()) << second.lastError();
  const std::string contentB = ReadFile(path);
  ASSERT_GT(contentA.size(), 100000u);
  ASSERT_NE(contentA, contentB);

  std::mt19937 rng(20240611);
  constexpr int kRounds = 60;
  std::set<std::string> seen;
  for (int round = 0; round < kRounds; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // The saving program: alternate the two contents until killed.
      for (;;) {
        if (!first.Save() || !second.Save()) _exit(2);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(2000 + rng() % 30000));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended by itself: a save failed";

    const std::string now = ReadFile(path);
    ASSERT_TRUE(now == contentA || now == contentB)
        << "round " << round << ": the file holds " << now.size() << " bytes, neither content ("
        << contentA.size() << " or " << contentB.size() << ")";
    seen.insert(now);

    SettingsFile loaded(path);
    ASSERT_TRUE(loaded.Load()) << loaded.lastError();
    int32_t port = 0;
    ASSERT_TRUE(loaded.GetInteger(SettingsFile::kSerialSection, SettingsFile::kPortKey, &port));
    EXPECT_TRUE(port == 1 || port == 2);
    EXPECT_EQ(loaded.SectionNames().size(), SettingsFile::kMaxSections);
    EXPECT_EQ(loaded.Keys("Section 23").size(), SettingsFile::kMaxEntries);
  }
  // The kills hit both halves of the loop, and many of them the middle of
  // a save (its temporary file is what such a kill leaves behind).
  EXPECT_EQ(seen.size(), 2u);
  const size_t interrupted = LeftoverTemporaryFiles(dir.path());
  std::printf("%d kills, %zu of them inside a save\n", kRounds, interrupted);
  EXPECT_GE(interrupted, 5u);
}

}  // namespace
