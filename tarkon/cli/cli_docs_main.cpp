// tarkon-cli-docs: makes the files that come from tarkon-cli's tables.
//   tarkon-cli-docs completion          the bash completion script
//   tarkon-cli-docs man PAGE            PAGE with its generated blocks made anew
// Both print to standard output; scripts/update-cli-docs.sh writes them
// into the source tree, and a test fails while they differ from it.

#include <cstdio>
#include <string>

#include "files/bounded_file_reader.h"
#include "tarkon/cli/cli_docs.h"

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "completion" && argc == 2) {
    std::fputs(CompletionScript().c_str(), stdout);
    return 0;
  }
  if (what == "man" && argc == 3) {
    const files::FileContent page = files::ReadBoundedFile(argv[2], 1024 * 1024);
    if (!page.ok()) {
      std::fprintf(stderr, "tarkon-cli-docs: %s: %s\n", argv[2], page.reason.c_str());
      return 1;
    }
    const std::string made = ManPageWithTables(page.content);
    if (made.empty()) {
      std::fprintf(stderr, "tarkon-cli-docs: %s: a block made from the tables is missing or not closed\n", argv[2]);
      return 1;
    }
    std::fputs(made.c_str(), stdout);
    return 0;
  }
  std::fprintf(stderr, "usage: tarkon-cli-docs completion | man PAGE\n");
  return 2;
}
