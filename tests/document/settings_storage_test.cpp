// When and what the document stores in its settings file: a connection
// that worked is kept at once (a crash later loses nothing), a virtual
// sensor's line never, and a stored address that is no address is refused
// with a line instead of being cut to another sensor's (or the global) one.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/sim_document.h"
#include "tarkon/document/virtual_sensor_port.h"

namespace {

using testsupport::ReadWholeFile;
using testsupport::SensorOf;
using testsupport::SimDocumentTest;
using testsupport::WriteWholeFile;

ino_t InodeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST_F(SimDocumentTest, AConnectThatChangedTheSettingsStoresThemAtOnce) {
  ASSERT_TRUE(WriteWholeFile(SettingsPath(), "[Serial Settings]\nPort=3\nBaudrate=57600\nAddress=1\n"
                                             "Read timeout=100\nWrite timeout=100\n\n"));
  StartSensor(SensorOf("KRV02", frame::kChecksum, 9));
  ASSERT_TRUE(ConnectDoc([](ConnectValues& v) { v.address = 9; }));
  // On disk while the document still runs: a kill now loses nothing.
  EXPECT_EQ(StoredText("Device"), sensor_->SlavePath());
  EXPECT_EQ(StoredInteger("Address"), 9);
  EXPECT_EQ(StoredInteger("Port"), 3) << "a connection by device keeps the port number";

  // The same connection again changes nothing and writes nothing.
  const ino_t written = InodeOf(SettingsPath());
  Doc().Disconnect();
  ASSERT_TRUE(ConnectDoc([](ConnectValues& v) { v.address = 9; }));
  EXPECT_EQ(InodeOf(SettingsPath()), written);
}

TEST_F(SimDocumentTest, AVirtualSensorsLineIsNeverStored) {
  const std::string stored = "[Serial Settings]\nPort=3\nBaudrate=19200\nAddress=4\nRead timeout=100\nWrite timeout=100\n\n";
  ASSERT_TRUE(WriteWholeFile(SettingsPath(), stored));
  StartSensor();
  Doc().options().SetSaveOnClose(false);  // as both front ends do for a virtual sensor
  ASSERT_TRUE(ConnectDoc([](ConnectValues& v) {
    v.address = 1;
    v.baudChoice = 3;
  }));
  EXPECT_EQ(ReadWholeFile(SettingsPath()), stored);
  DestroyDoc();
  EXPECT_EQ(ReadWholeFile(SettingsPath()), stored);
}

TEST_F(SimDocumentTest, TheEngineKeepsAVirtualSensorsLineOutOfTheFileWithoutBeingTold) {
  const std::string stored = "[Serial Settings]\nPort=3\nBaudrate=19200\nAddress=4\nRead timeout=100\nWrite timeout=100\n\n";
  ASSERT_TRUE(WriteWholeFile(SettingsPath(), stored));
  VirtualSensorPort virtualSensor;
  VirtualSensorRequest request;
  request.model = "KRV04";
  ConnectValues values = Doc().BeginConnect();
  ASSERT_TRUE(virtualSensor.Start(request, values)) << virtualSensor.failure();
  ASSERT_TRUE(Doc().Connect(values));
  Doc().Disconnect();
  EXPECT_EQ(ReadWholeFile(SettingsPath()), stored);

  // The next connect, to a real line, is stored again.
  StartSensor(SensorOf("KRV02", frame::kChecksum, 9));
  ASSERT_TRUE(ConnectDoc([](ConnectValues& v) {
    v.address = 9;
    v.baudChoice = 3;
  }));
  EXPECT_EQ(StoredText("Device"), sensor_->SlavePath());
}

TEST_F(SimDocumentTest, AStoredAddressOutsideOneTo255IsRefusedAndKept) {
  StartSensor();  // at address 1
  for (const std::string text : {"256", "300", "-1", "abc", "1e3", " "}) {
    SCOPED_TRACE(text);
    const std::string file = "[Serial Settings]\nPort=1\nBaudrate=57600\nAddress=" + text +
                             "\nRead timeout=100\nWrite timeout=100\n\n";
    ASSERT_TRUE(WriteWholeFile(SettingsPath(), file));
    listener_.Clear();
    const ConnectValues values = Doc().BeginConnect();
    EXPECT_EQ(values.address, 1);
    EXPECT_FALSE(values.globalAddress);
    const std::vector<std::string> notes = listener_.TextsOfKind(kLogNotice);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "Address=" + text + " in " + SettingsPath() +
                            " is not 1 to 255 (or 0, the global address): address 1 is used, and the file keeps its value");
    ConnectValues aimed = values;
    aimed.portText = sensor_->SlavePath();
    ASSERT_TRUE(Doc().Connect(aimed));
    DestroyDoc();
    EXPECT_NE(ReadWholeFile(SettingsPath()).find("\nAddress=" + text + "\n"), std::string::npos)
        << "the number the user wrote is not replaced by one he did not ask for";
  }
}

}  // namespace
