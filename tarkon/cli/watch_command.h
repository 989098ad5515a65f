#pragma once
// tarkon-cli watch: the live diagnostics poll after poll, printed (text or
// one JSON object per poll) or, with --csv, appended to a file and summed
// up at the end; --count, --interval, --duration and --reconnect apply to
// both alike.

class CliRun;

int RunWatch(CliRun& run);
