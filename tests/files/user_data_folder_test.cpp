// The per-user data folder, from the environment as the programs find it
// (POSIX: XDG_DATA_HOME and HOME; Windows: LOCALAPPDATA).

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "files/user_data_folder.h"

namespace {

void SetVariable(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
  _putenv_s(name, value ? value->c_str() : "");  // an empty value removes it
#else
  if (value)
    setenv(name, value->c_str(), 1);
  else
    unsetenv(name);
#endif
}

// Sets the variables for one case; puts the values of before back after it.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(std::vector<std::pair<const char*, std::optional<std::string>>> values) {
    for (const auto& [name, value] : values) {
      const char* old = std::getenv(name);
      saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
      SetVariable(name, value);
    }
  }
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) SetVariable(name, value);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

const std::nullopt_t kUnset = std::nullopt;

#ifdef _WIN32

TEST(UserDataFolder, LocalApplicationDataOfTheUser) {
  struct Case {
    std::optional<std::string> localAppData;
    std::string folder;
  };
  const Case cases[] = {
      {std::string("C:\\Users\\ana\\AppData\\Local"), "C:\\Users\\ana\\AppData\\Local"},
      {std::string("D:\\profiles\\bo\\Local"), "D:\\profiles\\bo\\Local"},
      {kUnset, "."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.localAppData.value_or("(unset)"));
    const ScopedEnvironment environment({{"LOCALAPPDATA", c.localAppData}});
    EXPECT_EQ(files::UserDataFolder(), c.folder);
  }
}

#else

TEST(UserDataFolder, XdgDataHomeWhenAbsoluteElseTheHomesLocalShare) {
  struct Case {
    std::optional<std::string> xdgDataHome;
    std::optional<std::string> home;
    std::string folder;
  };
  const Case cases[] = {
      {std::string("/data/ana"), std::string("/home/ana"), "/data/ana"},
      {std::string("/data/ana"), kUnset, "/data/ana"},
      {kUnset, std::string("/home/ana"), "/home/ana/.local/share"},
      {std::string(""), std::string("/home/ana"), "/home/ana/.local/share"},             // empty: as unset
      {std::string("data/ana"), std::string("/home/ana"), "/home/ana/.local/share"},     // relative: ignored
      {std::string("~/data"), std::string("/home/ana"), "/home/ana/.local/share"},       // no shell here
      {kUnset, kUnset, "./.local/share"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("XDG_DATA_HOME=" + c.xdgDataHome.value_or("(unset)") + " HOME=" + c.home.value_or("(unset)"));
    const ScopedEnvironment environment({{"XDG_DATA_HOME", c.xdgDataHome}, {"HOME", c.home}});
    EXPECT_EQ(files::UserDataFolder(), c.folder);
  }
}

#endif

}  // namespace
