// tarkon-cli upload: the engine's firmware update procedure with the
// terminal's questions, a progress line (or one JSON line per step), Ctrl+C
// twice as Stop, and the comparison of the settings afterwards.

#include "tarkon/cli/upload_command.h"

#include <cctype>
#include <cstdio>
#include <iostream>

#include "files/console.h"
#include "tarkon/cli/cli_output.h"
#include "tarkon/cli/progress_bar.h"
#include "tarkon/document/printable_text.h"
#include "tarkon/fleet/firmware_update.h"
#include "tarkon/fleet/fleet_tools.h"

namespace {

constexpr const char* kFirstInterruptWarning =
    "Stopping now leaves the sensor without complete firmware. Press Ctrl+C again to stop anyway.";

const char* OutcomeName(fleet::UpdateOutcome outcome) {
  switch (outcome) {
    case fleet::UpdateOutcome::kCompleted: return "completed";
    case fleet::UpdateOutcome::kFailed: return "failed";
    case fleet::UpdateOutcome::kStopped: return "stopped";
    default: return "not started";
  }
}

CliJson ItemsJson(const std::vector<fleet::RestoreItem>& items) {
  CliJson list = CliJson::array();
  for (const fleet::RestoreItem& i : items)
    list.push_back({{"name", i.name}, {"sensor", i.sensorText}, {"backup", i.fileText},
                    {"status", fleet::StatusText(i.status)}});
  return list;
}

}  // namespace

int UploadCommand(CliSession& s, CliJson& json) {
  const CliOptions& o = s.options();
  const std::string& kindText = o.arguments[0];
  const std::string& path = o.arguments[1];
  const int kind = kindText == "fpga" ? kUploadFPGA : kindText == "dsp" ? kUploadDSP : kUploadCalibration;
  fleet::FirmwareUpdate update(s.doc());
  ProgressBar bar("Uploading " + kindText);
  size_t size = 0;

  fleet::UpdateCallbacks callbacks;
  callbacks.plan = [&](const fleet::UpdatePlan& plan) {
    size = plan.size;
    if (o.json) {
      CliJson rows = CliJson::object();
      for (const auto& [name, value] : fleet::PlanRows(plan)) rows[name] = value;
      PrintJson({{"plan", rows}});
      return;
    }
    for (const auto& [name, value] : fleet::PlanRows(plan))
      std::fprintf(stderr, "%-14s %s\n", (name + ":").c_str(), PrintableText(value).c_str());
  };
  callbacks.askYesNo = [&](const std::string& question) {
    if (question == kUploadSizeQuestion) {
      std::vector<uint8_t> image;
      if (FirmwareUpload::ReadImage(path, &image)) std::fprintf(stderr, "%s\n", UploadSizeNote(kind, image.size()).c_str());
    }
    if (o.yes) {
      std::fprintf(stderr, "%s(yes)\n", question.c_str());
      return true;
    }
    if (files::StandardInputIsTerminal()) return AskOnTerminal(question);
    std::fprintf(stderr, "%s(no: use --yes)\n", question.c_str());
    return false;
  };
  // --yes answers the questions before an upload, never this one: no
  // backup, no upload, unless --without-backup says so.
  callbacks.goOnWithoutBackup = [&](const std::string& question) {
    if (o.withoutBackup) {
      std::fprintf(stderr, "%s(yes: --without-backup)\n", PrintableText(question).c_str());
      return true;
    }
    if (!o.yes && files::StandardInputIsTerminal()) return AskOnTerminal(PrintableText(question));
    std::fprintf(stderr, "%s(no: use --without-backup)\n", PrintableText(question).c_str());
    return false;
  };
  // Ctrl+C during the transfer: the first press warns, the second stops
  // after the block in flight, the same stop as the window's.
  g_interruptCount = 0;
  bool warned = false;
  callbacks.progress = [&](const fleet::UpdateProgress& p) {
    const int presses = g_interruptCount.load();
    if (presses >= 1 && !warned) {
      warned = true;
      bar.Finish();
      std::fprintf(stderr, "%s\n", kFirstInterruptWarning);
    }
    if (presses >= 2) update.Stop();
    if (o.json) {
      PrintJson({{"progress",
                  {{"sent", p.sent}, {"total", p.total}, {"percent", p.percent},
                   {"bytes_per_second", static_cast<long>(p.bytesPerSecond)},
                   {"seconds_left", p.secondsLeft < 0 ? CliJson() : CliJson(static_cast<long>(p.secondsLeft + 0.5))}}}});
    } else {
      bar.UpdateText(p.percent, fleet::ProgressText(p));
    }
  };
  const fleet::UpdateReport r = update.Run(kind, path, callbacks);
  bar.Finish();

  if (r.outcome == fleet::UpdateOutcome::kNotStarted) {
    std::fprintf(stderr, "upload: %s\n", PrintableText(r.reason).c_str());
    s.SetLastError("upload: " + r.reason);
    // The settings that could not be saved, or a line lost meanwhile: a
    // failure, said with its reason in the result as well.
    if (!r.backupError.empty() || !s.doc().connected()) {
      if (!r.advice.empty()) std::fprintf(stderr, "What to do: %s.\n", r.advice.c_str());
      if (o.json)
        json = {{"result", OutcomeName(r.outcome)}, {"text", r.reason},           {"what_to_do", r.advice},
                {"backup", r.backupPath},           {"backup_error", r.backupError}, {"flash_locked", true}};
      return kExitFailed;
    }
    if (r.upload == UploadOutcome::kDeclined) {
      s.SetLastError("upload: not confirmed (use --yes)");
      return kExitUsage;
    }
    return r.upload == UploadOutcome::kBusy ? kExitFailed : kExitUsage;
  }

  // The settings the upload changed, and with --restore-settings the
  // restore of the automatic backup.
  fleet::RestoreReport restore;
  const bool restoring = o.restoreSettings && !r.differences.empty();
  if (restoring) restore = update.RestoreBackup();

  if (o.json) {
    json = {{"status", r.status},
            {"bytes", size},
            {"result", OutcomeName(r.outcome)},
            {"text", r.result},
            {"meaning", r.meaning},
            {"what_to_do", r.advice},
            {"blocks_sent", r.blocksSent},
            {"blocks", r.blocksTotal},
            {"retries", r.retries},
            {"seconds", r.seconds},
            {"flash_locked", r.flashLocked},
            {"backup", r.backupPath},
            {"backup_error", r.backupError},
            {"firmware_before", r.firmwareBefore},
            {"firmware_after", r.identityRead ? CliJson(r.firmwareAfter) : CliJson()},
            {"settings_compared", r.compared},
            {"settings_changed", ItemsJson(r.differences)}};
    if (restoring) json["restored"] = restore.AllVerified();
  } else {
    // The engine's status first, as the dialog's status line shows it.
    std::cout << PrintableText(r.status) << "\n";
    for (const std::string& line : fleet::ResultLines(r)) std::cout << PrintableText(line) << "\n";
    for (const fleet::RestoreItem& i : r.differences)
      std::cout << "  " << PrintableText(i.name) << ": " << PrintableText(i.fileText) << " -> "
                << PrintableText(i.sensorText) << "\n";
    if (restoring) std::cout << PrintableText(fleet::RestoreOutcomeText(restore)) << "\n";
    else if (!r.differences.empty())
      std::cout << "Restore them with --restore-settings, or: tarkon-cli restore " << r.backupPath << "\n";
    std::cout.flush();
  }
  if (r.outcome != fleet::UpdateOutcome::kCompleted) {
    s.SetLastError("upload: " + r.result);
    return kExitFailed;
  }
  if (restoring && !restore.AllVerified()) {
    s.SetLastError("upload: the settings were not all restored");
    return kExitFailed;
  }
  return kExitOk;
}
