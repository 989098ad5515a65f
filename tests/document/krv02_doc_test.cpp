// The document against a virtual sensor on a pseudo-terminal: connecting
// and identifying the model, what the connection leaves in the settings
// file, the connection changes of the Edit menu, availability of the menu
// commands, the poll worker's life and the range texts.

#include "tarkon/document/doc_internals.h"
#include "tarkon/document/krv02_doc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "protocol/command_ids.h"
#include "protocol/frame.h"
#include "support/sim_document.h"
#include "tarkon/document/firmware_upload.h"

namespace {

using namespace std::chrono_literals;
using testsupport::LogLines;
using testsupport::SensorOf;
using testsupport::SimDocumentTest;
using testsupport::TracedFrame;
using testsupport::WaitUntil;

const std::vector<int> kKRV02ConnectCommands = {cmd::GetModelName,   cmd::GetVersion,       cmd::GetSensorSetup,
                                                 cmd::GetMinLP,       cmd::GetMaxLP,         cmd::GetAnalogFactors,
                                                 cmd::GetConfigVars,  cmd::GetSerialNum};
const std::vector<int> kKRV04ConnectCommands = {cmd::GetModelName, cmd::GetKRV04Version, cmd::GetSensorSetup,
                                                 cmd::GetNumHoldScans, cmd::GetSerialNum};
const std::vector<int> kQmtShortConnectCommands = {cmd::GetModelName, cmd::GetKRV04Version, cmd::GetSensorSetup,
                                                    cmd::GetSerialNum};
const std::vector<int> kFlipperConnectCommands = {cmd::GetModelName,    cmd::GetKRV04Version, cmd::GetSensorSetup,
                                                   cmd::ReadWaneParams, cmd::GetBoardTimeout,  cmd::GetSerialNum};

std::string SuccessLine(const std::string& model) { return "Successfully connected to " + model + " type sensor"; }

// Frame size of a request without data, by the check mode that built it.
bool IsChecksumFrame(const TracedFrame& f) { return f.bytes.size() > 2 && f.bytes.size() == f.bytes[2] + 4u; }
bool IsCrcFrame(const TracedFrame& f) { return f.bytes.size() > 2 && f.bytes.size() == f.bytes[2] + 6u; }

// ---------------------------------------------------------------------------
// Identification

struct IdentificationCase {
  const char* modelString;
  int model;  // -1: unknown
  const char* modelText;
  std::vector<int> connectCommands;
};

class Identification : public SimDocumentTest, public ::testing::WithParamInterface<IdentificationCase> {};

TEST_P(Identification, ModelStringDecidesModelPanelAndReads) {
  const IdentificationCase& c = GetParam();
  StartSensor(SensorOf(c.modelString));
  const bool connected = ConnectDoc();
  CKRV02Doc& doc = Doc();
  EXPECT_EQ(doc.sensor().modelString(), c.modelString);
  if (c.model < 0) {
    EXPECT_FALSE(connected);
    EXPECT_FALSE(doc.connected());
    EXPECT_EQ(listener_.lines(), (LogLines{{kLogError, "Connected to the sensor, but the model name is unknown."},
                                           {kLogNotice, "Disconnected..."}}));
    EXPECT_EQ(listener_.panels(), std::vector<int>{-1});
    EXPECT_EQ(trace_.Commands(), std::vector<int>{cmd::GetModelName});
    return;
  }
  ASSERT_TRUE(connected);
  EXPECT_TRUE(doc.connected());
  EXPECT_EQ(doc.sensor().modelIndex(), c.model);
  EXPECT_EQ(doc.sensor().modelText(), c.modelText);
  EXPECT_EQ(listener_.lines(), (LogLines{{kLogSuccess, SuccessLine(c.modelText)}}));
  EXPECT_EQ(listener_.panels(), std::vector<int>{c.model});
  // Versions by the model's own command, then the settings of its dialog,
  // then the serial number.
  EXPECT_EQ(trace_.Commands(), c.connectCommands);
  EXPECT_TRUE(doc.currentSettings() != nullptr && doc.currentSettings()->HasValues());
}

INSTANTIATE_TEST_SUITE_P(
    Document, Identification,
    ::testing::Values(
        IdentificationCase{"O QMT2000", kModelQmtShort, "Qmt Short", kQmtShortConnectCommands},  // letter O
        IdentificationCase{"0 QMT2000", kModelQmtShort, "Qmt Short", kQmtShortConnectCommands},  // digit zero
        IdentificationCase{"0 QMT12-20-6", kModelQmtShort, "Qmt Short", kQmtShortConnectCommands},
        IdentificationCase{"0 QMT2000LR", kModelQmtLong, "Qmt Long", kKRV02ConnectCommands},  // not a prefix match
        IdentificationCase{"1 QMTLONG", kModelQmtLong, "Qmt Long", kKRV02ConnectCommands},
        IdentificationCase{"0 M3-9-6", kModelKRV04, "KRV04", kKRV04ConnectCommands},
        IdentificationCase{"0 M3-9-7HT", kModelKRV04, "KRV04", kKRV04ConnectCommands},
        IdentificationCase{"0 M3-9-6BF", kModelKRV04BoardFlipper, "KRV04 Board Flipper", kFlipperConnectCommands},
        IdentificationCase{"0 M7-30-6", kModelKRV02, "KRV02", kKRV02ConnectCommands},
        IdentificationCase{"0 KRV-02", kModelKRV02, "KRV02", kKRV02ConnectCommands},
        IdentificationCase{"o qmt2000", -1, "", {}},    // lower case
        IdentificationCase{"0 QMT2000 ", -1, "", {}},   // trailing blank
        IdentificationCase{"0 M7-30-6X", -1, "", {}},   // table string plus one character
        IdentificationCase{"0 M7-30-", -1, "", {}},     // a table string cut short
        IdentificationCase{"QMT2000", -1, "", {}}));

TEST_F(SimDocumentTest, VersionTextsOfTheKRV02Family) {
  StartSensor(SensorOf("1 QMTLONG"));
  sensor_->Mutate([](sim::SensorState& s) {
    s.firmwareVersion = 1234;
    s.revision = 'B';
    s.fpgaVersion = 27;
  });
  ASSERT_TRUE(ConnectDoc());
  EXPECT_EQ(Doc().sensor().firmwareText(), "12.34B");
  EXPECT_EQ(Doc().sensor().fpgaText(), " 2.7");
  EXPECT_EQ(trace_.CountCommand(cmd::GetVersion), 1u);
  EXPECT_EQ(trace_.CountCommand(cmd::GetKRV04Version), 0u);
}

TEST_F(SimDocumentTest, VersionTextsOfTheKRV04FamilyInCrcMode) {
  StartSensor(SensorOf("0 M3-9-6BF", frame::kCrc));
  sensor_->Mutate([](sim::SensorState& s) {
    s.firmwareVersion = 305;  // both bytes matter: a swapped word would read 12545
    s.revision = 'A';
    s.fpgaVersion = 100;
  });
  ASSERT_TRUE(ConnectDoc());
  EXPECT_EQ(Doc().sensor().firmwareText(), "3.05A");
  EXPECT_EQ(Doc().sensor().fpgaText(), "10.0");
  EXPECT_EQ(trace_.CountCommand(cmd::GetKRV04Version), 1u);
  EXPECT_EQ(trace_.CountCommand(cmd::GetVersion), 0u);
}

TEST_F(SimDocumentTest, FailedVersionCommandKeepsTheTextsAndTheConnectGoesOn) {
  sim::SensorConfig config = SensorOf("KRV02");
  config.faults.rule(sim::FaultKind::kDrop).atReplies = {2};  // the GetVersion reply
  StartSensor(config);
  ASSERT_TRUE(ConnectDoc());
  EXPECT_EQ(Doc().sensor().firmwareText(), "");
  EXPECT_EQ(Doc().sensor().fpgaText(), "");
  const LogLines lines = listener_.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].first, kLogError);
  EXPECT_EQ(lines[0].second.rfind("Command GetVersion failed.", 0), 0u) << lines[0].second;
  EXPECT_EQ(lines[1], std::make_pair(int{kLogSuccess}, SuccessLine("KRV02")));
  EXPECT_EQ(trace_.Commands(), kKRV02ConnectCommands);
}

// ---------------------------------------------------------------------------
// Check mode of the connect

TEST_F(SimDocumentTest, CrcOnlySensorConnectsOnTheSecondAttemptAndStaysInCrcMode) {
  StartSensor(SensorOf("KRV02", frame::kCrc));
  ASSERT_TRUE(ConnectDoc());
  CKRV02Doc& doc = Doc();
  EXPECT_EQ(doc.sensor().checkMode(), frame::kCrc);
  EXPECT_TRUE(doc.IsChecked(DocCommand::kCrc));
  EXPECT_FALSE(doc.IsChecked(DocCommand::kChecksum));
  // The first question went out in checksum mode and was not understood;
  // everything after it in CRC mode was.
  const std::vector<TracedFrame> frames = trace_.Frames();
  ASSERT_FALSE(frames.empty());
  std::vector<TracedFrame> rx;
  for (const TracedFrame& f : frames)
    if (f.label.rfind("rx", 0) == 0) rx.push_back(f);
  ASSERT_GE(rx.size(), 2u);
  EXPECT_EQ(rx[0].label, "rx-bad");
  EXPECT_EQ(rx[0].command(), cmd::GetModelName);
  EXPECT_TRUE(IsChecksumFrame(rx[0]));
  for (size_t i = 1; i < rx.size(); ++i) {
    EXPECT_TRUE(rx[i].received()) << i;
    EXPECT_TRUE(IsCrcFrame(rx[i])) << i;
  }
  EXPECT_EQ(trace_.Commands(), kKRV02ConnectCommands);
  // Only the success line: the quiet first attempt logs nothing.
  EXPECT_EQ(listener_.lines(), (LogLines{{kLogSuccess, SuccessLine("KRV02")}}));
  EXPECT_TRUE(doc.currentSettings()->HasValues());
}

TEST_F(SimDocumentTest, ChecksumSensorNeverGetsACrcAttempt) {
  StartSensor(SensorOf("KRV04"));
  ASSERT_TRUE(ConnectDoc());
  EXPECT_EQ(Doc().sensor().checkMode(), frame::kChecksum);
  EXPECT_TRUE(Doc().IsChecked(DocCommand::kChecksum));
  EXPECT_EQ(trace_.CountCommand(cmd::GetModelName), 1u);
  EXPECT_EQ(trace_.CountLabel("rx-bad"), 0u);
  EXPECT_EQ(sensor_->Snapshot().activity.badFrames, 0u);
  for (const TracedFrame& f : trace_.Received()) EXPECT_TRUE(IsChecksumFrame(f));
  EXPECT_EQ(trace_.Commands(), kKRV04ConnectCommands);
}

// ---------------------------------------------------------------------------
// Failed connects

TEST_F(SimDocumentTest, PortThatCannotBeOpenedLogsTheFailureThenDisconnected) {
  const std::string missing = dir_.File("no-such-tty");
  EXPECT_FALSE(ConnectDoc([&](ConnectValues& v) { v.portText = missing; }));
  EXPECT_FALSE(Doc().connected());
  EXPECT_EQ(listener_.lines(),
            (LogLines{{kLogError, "Cannot connect to the sensor..."},
                      {kLogNotice, "Disconnected..."},
                      {kLogError, "No such device: " + missing +
                                      ". Check that the adapter is plugged in and the port is the right one."}}));
  EXPECT_EQ(Doc().sensor().lastConnectFailure().cause, ConnectFailureCause::kNoSuchDevice);
  EXPECT_EQ(listener_.panels(), std::vector<int>{-1});
  EXPECT_TRUE(Doc().IsAvailable(DocCommand::kConnect));
  EXPECT_EQ(listener_.pollNotices(), 0);
}

TEST_F(SimDocumentTest, PortTextWithoutComNamesNoPort) {
  StartSensor();
  EXPECT_FALSE(ConnectDoc([](ConnectValues& v) { v.portText = "TTY3"; }));
  EXPECT_EQ(Doc().sensor().portNumber(), -1);
  EXPECT_EQ(listener_.lines(),
            (LogLines{{kLogError, "Cannot connect to the sensor..."},
                      {kLogNotice, "Disconnected..."},
                      {kLogError, "\"TTY3\" names no serial port: give COMn or a device path such as /dev/ttyUSB0."}}));
  EXPECT_EQ(Doc().sensor().lastConnectFailure().cause, ConnectFailureCause::kNoPort);
  EXPECT_EQ(sensor_->Snapshot().activity.framesReceived, 0u);
}

TEST_F(SimDocumentTest, SilentSensorFailsInBothModesQuietlyAndKeepsTheChosenSettings) {
  // The sensor listens at another address: nobody answers.
  StartSensor(SensorOf("KRV02", frame::kChecksum, 5));
  EXPECT_FALSE(ConnectDoc([](ConnectValues& v) {
    v.baudChoice = 2;
    v.address = 9;
    v.readTimeout = 150;
    v.writeTimeout = 250;
  }));
  // The two quiet attempts add no lines of their own.
  EXPECT_EQ(listener_.lines(),
            (LogLines{{kLogError, "Cannot connect to the sensor..."},
                      {kLogNotice, "Disconnected..."},
                      {kLogError, "No answer from a sensor at address 9 and 38400 bit/s, in checksum mode nor in CRC "
                                  "mode. Check the wiring, the address and the baud rate."}}));
  EXPECT_EQ(Doc().sensor().lastConnectFailure().cause, ConnectFailureCause::kNoAnswer);
  EXPECT_FALSE(Doc().connected());
  DestroyDoc();
  EXPECT_EQ(StoredInteger("Baudrate"), 38400);
  EXPECT_EQ(StoredInteger("Address"), 9);
  EXPECT_EQ(StoredInteger("Read timeout"), 150);
  EXPECT_EQ(StoredInteger("Write timeout"), 250);
}

TEST_F(SimDocumentTest, FailedIdentificationStillStoresTheSettings) {
  StartSensor(SensorOf("0 M7-30-6X"));
  EXPECT_FALSE(ConnectDoc([](ConnectValues& v) {
    v.readTimeout = 120;
    v.writeTimeout = 130;
  }));
  DestroyDoc();
  EXPECT_EQ(StoredInteger("Read timeout"), 120);
  EXPECT_EQ(StoredInteger("Write timeout"), 130);
  EXPECT_EQ(StoredText("Device"), sensor_->SlavePath());
}

TEST_F(SimDocumentTest, ManufacturingModeConnectsAnUnknownSensorAsKRV02) {
  StartSensor(SensorOf("9 PROTOTYPE"));
  Doc(true);
  ASSERT_TRUE(ConnectDoc());
  CKRV02Doc& doc = Doc();
  EXPECT_TRUE(doc.connected());
  EXPECT_EQ(doc.sensor().modelIndex(), kModelKRV02);
  EXPECT_EQ(doc.sensor().modelText(), "KRV02");
  EXPECT_EQ(doc.sensor().modelString(), "9 PROTOTYPE");
  EXPECT_EQ(listener_.lines(),
            (LogLines{{kLogError,
                       "Sensor responded with unknown model string.Since in manufacturing mode initializing as KRV02."},
                      {kLogSuccess, "Successfully connected to KRV02 type sensor"}}));
  EXPECT_EQ(trace_.Commands(), kKRV02ConnectCommands);
}

// ---------------------------------------------------------------------------
// Settings file and port names

TEST_F(SimDocumentTest, SuccessfulConnectStoresTheTimeOuts) {
  StartSensor();
  ASSERT_TRUE(ConnectDoc([](ConnectValues& v) {
    v.readTimeout = 200;
    v.writeTimeout = 300;
  }));
  DestroyDoc();
  EXPECT_EQ(StoredInteger("Read timeout"), 200);
  EXPECT_EQ(StoredInteger("Write timeout"), 300);
  EXPECT_EQ(StoredInteger("Baudrate"), 57600);
  EXPECT_EQ(StoredInteger("Address"), 1);
}

TEST_F(SimDocumentTest, StoredValuesFillTheNextConnect) {
  StartSensor(SensorOf("KRV02", frame::kChecksum, 7));
  ASSERT_TRUE(ConnectDoc([](ConnectValues& v) {
    v.address = 7;
    v.readTimeout = 210;
  }));
  DestroyDoc();
  const ConnectValues again = Doc().BeginConnect();
  EXPECT_EQ(again.portText, sensor_->SlavePath());
  EXPECT_EQ(again.address, 7);
  EXPECT_EQ(again.readTimeout, 210u);
  EXPECT_EQ(again.baudChoice, 3);
}

TEST_F(SimDocumentTest, LowerCasePortTextOpensThePortThroughThePortMap) {
  StartSensor();
  {
    SettingsFile file(SettingsPath());
    ASSERT_TRUE(file.SetPortMapEntry(3, sensor_->SlavePath()));
    ASSERT_TRUE(file.Save());
  }
  ASSERT_TRUE(ConnectDoc([](ConnectValues& v) { v.portText = "com3"; }));
  EXPECT_EQ(Doc().sensor().portNumber(), 3);
  DestroyDoc();
  EXPECT_EQ(StoredInteger("Port"), 3);
}

// ---------------------------------------------------------------------------
// Baud rate, address, check mode, defaults

TEST_F(SimDocumentTest, BaudRateChangeAppliesAndStoresEvenWithoutConfirmation) {
  StartSensor(SensorOf("KRV02", frame::kCrc));
  ASSERT_TRUE(ConnectDoc());
  EXPECT_EQ(BaudDialogChoice(Doc().sensor().baudRate()), 3);
  listener_.Clear();
  // From now on the sensor answers nothing.
  sensor_->Mutate([](sim::SensorState& s) { s.faults.rule(sim::FaultKind::kDrop).probability = 1.0; });
  Doc().operations().ChangeBaudRate(2);
  EXPECT_EQ(Doc().sensor().baudRate(), 38400);
  EXPECT_EQ(BaudDialogChoice(Doc().sensor().baudRate()), 2);
  // The send alone decides the command's success; the re-read at the new
  // rate finds no answer.
  const LogLines lines = listener_.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::make_pair(int{kLogSuccess}, std::string("Set boudrate to 38400")));
  EXPECT_EQ(lines[1].first, kLogError);
  EXPECT_EQ(lines[1].second.rfind("Command GetSensorSetup failed.", 0), 0u) << lines[1].second;
  EXPECT_EQ(trace_.CountCommand(cmd::SetBaudRate), 1u);
  DestroyDoc();
  EXPECT_EQ(StoredInteger("Baudrate"), 38400);
}

TEST_F(SimDocumentTest, BaudRateChangeTalksToTheSensorAtTheNewRate) {
  StartSensor();
  ASSERT_TRUE(ConnectDoc());
  listener_.Clear();
  trace_.Clear();
  Doc().operations().ChangeBaudRate(1);
  EXPECT_EQ(Doc().sensor().baudRate(), 19200);
  EXPECT_EQ(sensor_->Snapshot().baudRate, 19200);
  EXPECT_EQ(listener_.lines(), (LogLines{{kLogSuccess, "Set boudrate to 19200"}}));
  // The re-read after the switch went through at the new rate.
  const std::vector<int> commands = trace_.Commands();
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[0], cmd::SetBaudRate);
  EXPECT_EQ(commands[1], cmd::GetSensorSetup);
  EXPECT_EQ(trace_.CountLabel("rx-garbled"), 0u);
}

TEST_F(SimDocumentTest, AddressChangeGoesToTheGlobalAddressWithTheSerialNumber) {
  sim::SensorConfig config = SensorOf("KRV02");
  config.serial = "AB12";
  StartSensor(config);
  ASSERT_TRUE(ConnectDoc());
  EXPECT_EQ(Doc().sensor().serialNumberText(), "AB12");
  trace_.Clear();
  Doc().operations().SetAddress(Doc().sensor().serialNumberText(), 9);
  EXPECT_EQ(Doc().sensor().address(), 9);
  EXPECT_EQ(sensor_->Snapshot().address, 9);

  const std::vector<TracedFrame> received = trace_.Received();
  ASSERT_GE(received.size(), 2u);
  const TracedFrame& change = received[0];
  EXPECT_EQ(change.command(), cmd::SetSensorAddress);
  EXPECT_EQ(change.address(), 0);
  ASSERT_GE(change.bytes.size(), 4u + 9u);
  const std::vector<uint8_t> payload(change.bytes.begin() + 4, change.bytes.begin() + 13);
  EXPECT_EQ(payload, (std::vector<uint8_t>{'A', 'B', '1', '2', 0, 0, 0, 0, 9}));
  // The re-read talks to the new address.
  EXPECT_EQ(received[1].command(), cmd::GetSensorSetup);
  EXPECT_EQ(received[1].address(), 9);
  for (size_t i = 1; i < received.size(); ++i) EXPECT_EQ(received[i].address(), 9) << i;
  EXPECT_TRUE(listener_.TextsOfKind(kLogError).empty());
  DestroyDoc();
  EXPECT_EQ(StoredInteger("Address"), 9);
}

TEST_F(SimDocumentTest, CancelledAddressDialogOnlyRereads) {
  StartSensor();
  ASSERT_TRUE(ConnectDoc());
  trace_.Clear();
  Doc().operations().RereadSettings();  // what the window does when its address dialog is cancelled
  EXPECT_EQ(trace_.CountCommand(cmd::SetSensorAddress), 0u);
  EXPECT_EQ(trace_.CountCommand(cmd::GetSensorSetup), 1u);
  EXPECT_EQ(Doc().sensor().address(), 1);
}

TEST_F(SimDocumentTest, CheckModeChangeSwitchesBothSides) {
  StartSensor();
  ASSERT_TRUE(ConnectDoc());
  trace_.Clear();
  listener_.Clear();
  Doc().operations().ChangeCheckMode(frame::kCrc);
  EXPECT_EQ(Doc().sensor().checkMode(), frame::kCrc);
  EXPECT_EQ(sensor_->Snapshot().checkMode, frame::kCrc);
  EXPECT_TRUE(Doc().IsChecked(DocCommand::kCrc));
  EXPECT_FALSE(Doc().IsChecked(DocCommand::kChecksum));
  const std::vector<TracedFrame> received = trace_.Received();
  ASSERT_GE(received.size(), 2u);
  EXPECT_EQ(received[0].command(), cmd::SetSensorCheckMode);
  EXPECT_TRUE(IsChecksumFrame(received[0]));
  for (size_t i = 1; i < received.size(); ++i) EXPECT_TRUE(IsCrcFrame(received[i])) << i;
  EXPECT_TRUE(listener_.TextsOfKind(kLogError).empty());
  EXPECT_TRUE(Doc().operations().RereadSettings());

  Doc().operations().ChangeCheckMode(frame::kChecksum);
  EXPECT_EQ(sensor_->Snapshot().checkMode, frame::kChecksum);
  EXPECT_TRUE(Doc().operations().RereadSettings());
  EXPECT_TRUE(listener_.TextsOfKind(kLogError).empty());
}

TEST_F(SimDocumentTest, FactoryDefaultsAskFirstAndSendNothingOnNo) {
  StartSensor();
  ASSERT_TRUE(ConnectDoc());
  sensor_->Mutate([](sim::SensorState& s) { s.settings.threshold = 99; });
  trace_.Clear();
  std::vector<std::string> questions;
  EXPECT_FALSE(Doc().operations().SetFactoryDefaults([&](const std::string& q) {
    questions.push_back(q);
    return false;
  }));
  EXPECT_EQ(questions, std::vector<std::string>{"Reset sensor to factory defaults ?"});
  EXPECT_EQ(trace_.size(), 0u);
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, 99);

  EXPECT_TRUE(Doc().operations().SetFactoryDefaults([&](const std::string& q) {
    questions.push_back(q);
    return true;
  }));
  EXPECT_EQ(questions.size(), 2u);
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, 40);
  const std::vector<int> commands = trace_.Commands();
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[0], cmd::SetDefaults);
  EXPECT_EQ(commands[1], cmd::GetSensorSetup);
  EXPECT_EQ(Doc().currentSettings()->DisplayedValue("Threshold"), "40");
}

// ---------------------------------------------------------------------------
// Availability, poll worker, close

TEST_F(SimDocumentTest, AvailabilityFollowsConnectionAndManufacturingMode) {
  const DocCommand connectedOnly[] = {DocCommand::kDisconnect, DocCommand::kAddress,        DocCommand::kChecksum,
                                      DocCommand::kCrc,        DocCommand::kBaudRate,       DocCommand::kSensorSettings,
                                      DocCommand::kRereadSettings, DocCommand::kSetDefaults};
  const DocCommand manufacturingOnly[] = {DocCommand::kSerialAndModel, DocCommand::kUpload, DocCommand::kResetSensor};
  StartSensor();
  CKRV02Doc& doc = Doc();
  EXPECT_TRUE(doc.IsAvailable(DocCommand::kConnect));
  for (DocCommand c : connectedOnly) EXPECT_FALSE(doc.IsAvailable(c)) << static_cast<int>(c);
  for (DocCommand c : manufacturingOnly) EXPECT_FALSE(doc.IsAvailable(c)) << static_cast<int>(c);

  ASSERT_TRUE(ConnectDoc());
  EXPECT_FALSE(doc.IsAvailable(DocCommand::kConnect));
  for (DocCommand c : connectedOnly) EXPECT_TRUE(doc.IsAvailable(c)) << static_cast<int>(c);
  for (DocCommand c : manufacturingOnly) EXPECT_FALSE(doc.IsAvailable(c)) << static_cast<int>(c);
  EXPECT_TRUE(doc.IsChecked(DocCommand::kChecksum));
  EXPECT_FALSE(doc.IsChecked(DocCommand::kCrc));
  EXPECT_FALSE(doc.IsChecked(DocCommand::kAddress));

  doc.Disconnect();
  EXPECT_TRUE(doc.IsAvailable(DocCommand::kConnect));
  for (DocCommand c : connectedOnly) EXPECT_FALSE(doc.IsAvailable(c)) << static_cast<int>(c);

  doc.options().SetManufacturingMode(true);
  for (DocCommand c : manufacturingOnly) EXPECT_FALSE(doc.IsAvailable(c)) << static_cast<int>(c);
  ASSERT_TRUE(ConnectDoc());
  for (DocCommand c : manufacturingOnly) EXPECT_TRUE(doc.IsAvailable(c)) << static_cast<int>(c);

  // While a long operation holds the line, nothing may add a frame to it.
  {
    TransferFlag::Scope hold(DocInternals::Transfer(doc));
    ASSERT_TRUE(hold.held());
    EXPECT_TRUE(doc.LineBusy());
    for (DocCommand c : connectedOnly) EXPECT_FALSE(doc.IsAvailable(c)) << static_cast<int>(c);
    for (DocCommand c : manufacturingOnly) EXPECT_FALSE(doc.IsAvailable(c)) << static_cast<int>(c);
  }
  EXPECT_FALSE(doc.LineBusy());
  EXPECT_TRUE(doc.IsAvailable(DocCommand::kSetDefaults));
}

TEST_F(SimDocumentTest, PollTicksRunWhileConnectedAndStopAtDisconnect) {
  StartSensor();
  CKRV02Doc& doc = Doc();
  EXPECT_FALSE(doc.polling().WaitPollTick(300));
  ASSERT_TRUE(ConnectDoc());
  EXPECT_TRUE(doc.polling().PollAllowed());
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(doc.polling().WaitPollTick(1500)) << i;
    doc.polling().PollTickHandled();
  }
  // The notice goes out right after the tick is raised.
  EXPECT_TRUE(WaitUntil([&] { return listener_.pollNotices() >= 2; }));
  doc.Disconnect();
  EXPECT_FALSE(doc.polling().PollAllowed());
  const uint64_t raised = DocInternals::Poll(doc).ticksRaised();
  const int notices = listener_.pollNotices();
  EXPECT_FALSE(doc.polling().WaitPollTick(600));
  EXPECT_EQ(DocInternals::Poll(doc).ticksRaised(), raised);
  EXPECT_EQ(listener_.pollNotices(), notices);
  EXPECT_EQ(listener_.lines().back(), std::make_pair(int{kLogNotice}, std::string("Disconnected...")));
  EXPECT_EQ(listener_.panels().back(), -1);
}

TEST_F(SimDocumentTest, DisconnectIsPromptWhileATickWaitsUntaken) {
  StartSensor();
  ASSERT_TRUE(ConnectDoc());
  ASSERT_TRUE(WaitUntil([&] { return listener_.pollNotices() >= 1; }));
  const auto begin = std::chrono::steady_clock::now();
  Doc().Disconnect();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 500ms);
}

TEST_F(SimDocumentTest, CloseStopsPollingAndSaysClose) {
  StartSensor();
  ASSERT_TRUE(ConnectDoc());
  listener_.Clear();
  Doc().CloseDocument();
  EXPECT_EQ(listener_.lines(), (LogLines{{kLogSuccess, "Close"}}));
  EXPECT_FALSE(Doc().polling().WaitPollTick(600));
}

// ---------------------------------------------------------------------------
// Range texts

TEST_F(SimDocumentTest, RangeTextsFollowTheSensorsCurrentMode) {
  StartSensor();
  ASSERT_TRUE(ConnectDoc());
  CKRV02Doc& doc = Doc();
  EXPECT_EQ(doc.sensor().CurrentMode(), 0);
  EXPECT_EQ(doc.sensor().RangeText(static_cast<int16_t>(0x8000)), "Out of Range");
  EXPECT_EQ(doc.sensor().RangeText(12345), "12.345 inch");
  EXPECT_EQ(doc.sensor().RangeText(-5), "Out of Range");
  ASSERT_FALSE(doc.currentSettings()->ChangeSetting("Mode", "3").Refused());
  EXPECT_EQ(doc.sensor().CurrentMode(), 3);
  EXPECT_EQ(doc.sensor().RangeText(-12345), "-1234.5 mm");
  EXPECT_EQ(doc.sensor().RangeText(static_cast<int16_t>(0x8000)), "Out of Range");
}

TEST_F(SimDocumentTest, QmtShortRangesUseItsOneModeWhateverTheSetupSays) {
  StartSensor(SensorOf("Qmt Short"));
  sensor_->Mutate([](sim::SensorState& s) { s.settings.rangeMode = 1; });
  ASSERT_TRUE(ConnectDoc());
  EXPECT_EQ(Doc().sensor().RangeText(4321), "4.321 inch");
  EXPECT_EQ(Doc().sensor().RangeText(static_cast<int16_t>(0x8000)), "Out of Range");
}

// ---------------------------------------------------------------------------
// Firmware upload through the document's parts

TEST_F(SimDocumentTest, FailedTransferStillLocksTheFlash) {
  sim::SensorConfig config = SensorOf("KRV02");
  config.xmodemRequestTries = 1;  // the receiver gives up at once
  config.xmodemRequestInterval = 1ms;
  StartSensor(config);
  Doc(true);
  ASSERT_TRUE(ConnectDoc());
  const std::string path = dir_.File("table.cal");
  ASSERT_TRUE(testsupport::WriteWholeFile(path, std::string(300, '\x5A')));
  // The block transfer finds no port: no start request ever arrives.
  SerialPort closed;
  DocInternals::Xmodem(Doc()).Attach(&closed);
  trace_.Clear();
  FirmwareUpload upload(DocInternals::Commands(Doc()), DocInternals::Xmodem(Doc()), DocInternals::Transfer(Doc()));
  std::vector<std::string> statuses;
  bool pollAllowedDuring = true;
  UploadCallbacks callbacks;
  callbacks.status = [&](const std::string& s) {
    statuses.push_back(s);
    // The final status comes while the transfer still holds the line.
    pollAllowedDuring = Doc().polling().PollAllowed();
    // As long as a dialog takes to show it; the sensor's receiver is done.
    std::this_thread::sleep_for(100ms);
  };
  EXPECT_EQ(upload.Upload(kUploadCalibration, path, callbacks), UploadOutcome::kTransferFailed);
  DocInternals::Xmodem(Doc()).Attach(&DocInternals::Link(Doc()));
  EXPECT_FALSE(pollAllowedDuring);
  EXPECT_TRUE(Doc().polling().PollAllowed());
  EXPECT_EQ(statuses.back(), "Error occurred.Code 1");
  // The lock is confirmed by the sensor's answer to the query after it.
  EXPECT_EQ(trace_.Commands(), (std::vector<int>{cmd::WriteFlashProtect1, cmd::WriteFlashProtect2,
                                                  cmd::UploadCalibration, cmd::WriteFlashProtect1,
                                                  cmd::WriteFlashProtect2, cmd::GetModelName}));
  const sim::SensorState s = sensor_->Snapshot();
  EXPECT_EQ(s.flashProtect1, 0);
  EXPECT_EQ(s.flashProtect2, 0);
  EXPECT_FALSE(s.FlashUnlocked());
  EXPECT_TRUE(Doc().operations().RereadSettings());
}

}  // namespace
