#pragma once
// The parts of the document that only the engine reaches: the command
// object, the packet link, the block sender, the line-hold flag and the
// poll worker. Front ends never include this header; they use the
// document's operations, so the window and the command-line tool send the
// same sequence for the same action and no front end gets round a rule.

#include "tarkon/document/krv02_doc.h"

struct DocInternals {
  static SensorCommands& Commands(CKRV02Doc& doc) { return doc.commands_; }
  static const SensorCommands& Commands(const CKRV02Doc& doc) { return doc.commands_; }
  static PacketLink& Link(CKRV02Doc& doc) { return doc.link_; }
  static XmodemSender& Xmodem(CKRV02Doc& doc) { return doc.xmodem_; }
  static TransferFlag& Transfer(CKRV02Doc& doc) { return doc.transfer_; }
  static PollWorker& Poll(CKRV02Doc& doc) { return doc.poll_; }
  // A panel's poll tick ran with its update switch on or off.
  static void NotePolling(CKRV02Doc& doc, bool on) { doc.pollSwitch_ = on; }
};
