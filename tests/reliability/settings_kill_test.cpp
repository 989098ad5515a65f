// A program killed while it saves its settings must never leave "tarkon.ini"
// truncated or empty: a child process saves two different contents in turn
// and is killed at every point of the save in turn (the writer's test hook
// names them: temporary file created, each part written, all written,
// flushed, renamed); after every kill the file must be exactly the old or
// the new content, as that point demands, and load with all its settings.
// The kills land where they are meant to whatever the machine's load.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "files/atomic_file_writer.h"
#include "reliability/reliability_support.h"
#include "tarkon/document/settings_file.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A full file (24 sections of 24 entries, about 150 kB) whose values are
// made of `fill` and whose port is `port`, so a save writes it in several
// parts.
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

// Removes what killed saves left besides the settings file; returns how
// many such files there were.
size_t RemoveLeftoverTemporaryFiles(const std::string& dir) {
  size_t n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().filename().string() == SettingsFile::kFileName) continue;
    std::filesystem::remove(entry.path());
    ++n;
  }
  return n;
}

std::vector<files::WriteStep> recordedSteps;
void RecordStep(files::WriteStep step) { recordedSteps.push_back(step); }

// In the saving child: the hook call at which it kills itself.
size_t killAtCall = 0;
size_t callsSoFar = 0;
void KillAtChosenStep(files::WriteStep) {
  if (++callsSoFar == killAtCall) raise(SIGKILL);
}

TEST(SettingsFileKill, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewFile) {
  reliability::Watchdog watchdog(120, "settings kill test");
  reliability::TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string path = dir.File(SettingsFile::kFileName);

  // The two contents as the program writes them, and the points of one
  // save of each, in order.
  SettingsFile first(path);
  Fill(first, 'a', 1);
  SettingsFile second(path);
  Fill(second, 'b', 2);
  files::SetWriteStepHookForTesting(RecordStep);
  const bool savedA = first.Save();
  const std::string contentA = ReadFile(path);
  const size_t stepsPerSave = recordedSteps.size();
  const bool savedB = second.Save();
  const std::string contentB = ReadFile(path);
  files::SetWriteStepHookForTesting(nullptr);
  ASSERT_TRUE(savedA && savedB) << first.lastError() << second.lastError();
  ASSERT_GT(contentA.size(), 100000u);
  ASSERT_NE(contentA, contentB);
  ASSERT_EQ(recordedSteps.size(), 2 * stepsPerSave);
  const std::vector<files::WriteStep> steps = recordedSteps;
  ASSERT_GE(std::count(steps.begin(), steps.end(), files::WriteStep::kPartWritten), 10);
  ASSERT_EQ(steps.back(), files::WriteStep::kRenamed);

  // Kill at every point of a save of A over B, then of B over A.
  std::set<std::string> seen;
  size_t interrupted = 0;
  for (size_t call = 1; call <= steps.size(); ++call) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      killAtCall = call;
      files::SetWriteStepHookForTesting(KillAtChosenStep);
      if (!first.Save() || !second.Save()) _exit(2);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the saving child was not killed at point " << call << ": a save failed";

    // Before its rename a killed save leaves the file it replaces (B for
    // the save of A, A for that of B); from the rename on, its own.
    const bool saveOfA = call <= stepsPerSave;
    const bool renamed = steps[call - 1] == files::WriteStep::kRenamed;
    const std::string& expected = (saveOfA == renamed) ? contentA : contentB;
    const std::string now = ReadFile(path);
    ASSERT_TRUE(now == expected) << "point " << call << ": the file holds " << now.size()
                                 << " bytes, not the " << expected.size() << " expected";
    seen.insert(now);
    const size_t leftovers = RemoveLeftoverTemporaryFiles(dir.path());
    EXPECT_EQ(leftovers, renamed ? 0u : 1u) << "point " << call;
    if (!renamed) ++interrupted;

    SettingsFile loaded(path);
    ASSERT_TRUE(loaded.Load()) << loaded.lastError();
    int32_t port = 0;
    ASSERT_TRUE(loaded.GetInteger(SettingsFile::kSerialSection, SettingsFile::kPortKey, &port));
    EXPECT_TRUE(port == 1 || port == 2);
    EXPECT_EQ(loaded.SectionNames().size(), SettingsFile::kMaxSections);
    EXPECT_EQ(loaded.Keys("Section 23").size(), SettingsFile::kMaxEntries);
    // The next round starts from B, as the first one did.
    if (now != contentB) {
      ASSERT_TRUE(second.Save()) << second.lastError();
    }
  }
  EXPECT_EQ(seen.size(), 2u);
  std::printf("%zu kills, %zu of them inside a save\n", steps.size(), interrupted);
  EXPECT_GE(interrupted, 20u);
}

}  // namespace
