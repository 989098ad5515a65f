#pragma once
// Text from the sensor (a serial number, a model string, a version letter)
// is data: printed raw, an escape sequence in it would clear the terminal
// or set its title. Everything that prints such text to a terminal or a log
// passes it through here first.

#include <string>

// `text` with every byte outside printable ASCII (controls, DEL, and bytes
// of 0x80 and above, which some terminals take as controls too) shown as
// "\xNN" (hexadecimal, upper case). Printable text comes back unchanged.
std::string PrintableText(const std::string& text);
