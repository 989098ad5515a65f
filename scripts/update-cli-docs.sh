#!/usr/bin/env bash
# Writes the files made from tarkon-cli's command and option tables into the
# source tree: the bash completion script and the man page's lists. Run it
# after changing a table; a test fails while the files differ from the
# tables. scripts/update-cli-docs.sh [BUILD_DIR] (default build/dev).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/dev}
docs="$build/tarkon/cli/tarkon-cli-docs"
[ -x "$docs" ] || { echo "build tarkon-cli-docs first (LRS_TARGETS=tarkon-cli-docs scripts/build.sh $build)" >&2; exit 1; }
cli="$root/tarkon/cli"
"$docs" completion >"$cli/tarkon-cli.bash-completion.new"
mv "$cli/tarkon-cli.bash-completion.new" "$cli/tarkon-cli.bash-completion"
"$docs" man "$cli/tarkon-cli.1" >"$cli/tarkon-cli.1.new"
mv "$cli/tarkon-cli.1.new" "$cli/tarkon-cli.1"
