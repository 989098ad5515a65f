#pragma once
// Manufacturing mode: writing serial number and model name, firmware
// upload and sensor reset. It is switched on once at start-up, only by the
// command line "-QZX" exactly, and never changes afterwards.

constexpr const char* kManufacturingSwitch = "-QZX";

// `commandLine` is the text after the program name. On only when it is
// exactly "-QZX" (compared over 5 bytes, the terminating NUL included):
// lower case, a trailing blank or anything after it leaves the mode off.
bool ManufacturingModeFromCommandLine(const char* commandLine);

// The same from a program's arguments. The command line is the arguments
// after the program name, so the mode is on only for exactly one argument
// equal to "-QZX"; an argument with a blank in it ("-QZX ") or a second
// argument (a file name, even an empty one) leaves it off.
bool ManufacturingModeFromArguments(int argc, const char* const* argv);
