#pragma once
// The login name of the user running the program, for records of who did
// what: the account database's name (getpwuid on POSIX, GetUserNameW on
// Windows), else $USER / %USERNAME%, else the numeric user id on POSIX.

#include <string>

namespace files {

std::string CurrentUserName();

}  // namespace files
