// Every value the program shows in a label or a read-only field reaches a
// screen reader with its value, not its caption alone: the main window's
// panels and status bar, and the dialogs that show values, each walked
// through the accessibility interface a screen reader uses.

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "tarkon/ui/settings_dialogs.h"
#include "tarkon/ui/upload_dialog.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

QString SpokenName(QWidget* w) {
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
  return a != nullptr ? a->text(QAccessible::Name) : QString();
}

// The value widgets under `root` whose spoken name lacks their value, and
// how many value widgets were looked at.
std::vector<std::string> Unspoken(QWidget* root, int* looked) {
  std::vector<std::string> missing;
  auto check = [&](QWidget* w, const QString& value) {
    if (value.trimmed().isEmpty()) return;
    ++*looked;
    const QString name = SpokenName(w);
    if (!name.contains(value)) missing.push_back(name.toStdString() + " (shows \"" + value.toStdString() + "\")");
  };
  for (QLineEdit* e : root->findChildren<QLineEdit*>())
    if (e->isReadOnly()) check(e, e->text());
  for (QLabel* l : root->findChildren<QLabel*>())
    if (l->buddy() == nullptr) check(l, l->text());  // a label with a buddy is a caption
  return missing;
}

class SpokenValues : public TracedUiTest {
 protected:
  // Opens the window `command` shows, lets `prepare` put values in it,
  // and checks them.
  void CheckWindow(CMainFrame& frame, DocCommand command, const std::function<void(QWidget*)>& prepare) {
    auto came = OnNextModal([&](QWidget* w) {
      prepare(w);
      int looked = 0;
      EXPECT_EQ(Unspoken(w, &looked), std::vector<std::string>{}) << w->windowTitle().toStdString();
      EXPECT_GT(looked, 0) << w->windowTitle().toStdString();
      w->close();
    });
    frame.action(command)->trigger();
    EXPECT_TRUE(*came);
  }
};

TEST_F(SpokenValues, MainWindowAndDialogsSpeakTheirValues) {
  CMainFrame& frame = ConnectTraced("KRV02", false, true);
  Pump(300);  // a few poll ticks fill the panels
  int looked = 0;
  EXPECT_EQ(Unspoken(&frame, &looked), std::vector<std::string>{});
  EXPECT_GT(looked, 3);  // the status bar's key indicators and the scan status at least

  CheckWindow(frame, DocCommand::kAddress, [](QWidget*) {});
  CheckWindow(frame, DocCommand::kUpload, [](QWidget* w) {
    auto* dialog = qobject_cast<CUploadDlg*>(w);
    ASSERT_NE(dialog, nullptr);
    dialog->SetFilePath(QStringLiteral("/nonexistent/image.bin"));
    dialog->uploadButton()->click();  // no type chosen: the status says so
  });
  CheckWindow(frame, DocCommand::kSensorSettings, [](QWidget* w) {
    auto* dialog = qobject_cast<CCustomSettingsDlg*>(w);
    ASSERT_NE(dialog, nullptr);
    dialog->button(QStringLiteral("Set Threshold"))->click();
  });
}

}  // namespace
}  // namespace uitest
