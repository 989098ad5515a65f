#pragma once
// The files made from the command and option tables: the bash completion
// script, and the man page's lists of options and commands. Both are
// checked in (a cross build cannot run a program to make them); a test
// compares them with what the tables make now, and tarkon-cli-docs
// rewrites them.

#include <string>

// The whole bash completion script.
std::string CompletionScript();

// `page` (the man page's text) with each generated block made anew from
// the tables. A block runs from a line kManBlockStart + its name to the line
// kManBlockEnd; the blocks are "options" (the options of every command) and
// "commands" (each command with its help and its own options). Text outside
// the blocks is kept as it is. Empty when a block is missing or unclosed.
std::string ManPageWithTables(const std::string& page);
constexpr const char* kManBlockStart = ".\\\" Made from the tables of tarkon-cli (tarkon-cli-docs): ";
constexpr const char* kManBlockEnd = ".\\\" End of the lines made from the tables.";
