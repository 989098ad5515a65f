// A question that erases the sensor's settings answers No to Enter: the
// factory-defaults question of the menu and toolbar, in the real frame
// against a virtual sensor.

#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "protocol/command_ids.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

class OverwriteQuestions : public TracedUiTest {};

TEST_F(OverwriteQuestions, FactoryDefaultsQuestionTakesEnterAsNo) {
  CMainFrame& frame = ConnectTraced("KRV04");
  sensor_->Mutate([](sim::SensorState& s) { s.settings.threshold = 99; });
  QString question;
  bool noIsDefault = false;
  auto came = OnNextModalOf<QMessageBox>([&](QMessageBox* box) {
    question = box->text();
    noIsDefault = static_cast<QAbstractButton*>(box->defaultButton()) == box->button(QMessageBox::No);
    QTest::keyClick(box, Qt::Key_Return);
  });
  frame.action(DocCommand::kSetDefaults)->trigger();
  ASSERT_TRUE(*came);
  EXPECT_EQ(question, "Reset sensor to factory defaults ?");
  EXPECT_TRUE(noIsDefault);
  Pump(50);
  EXPECT_EQ(Sent(cmd::SetDefaults), 0u);
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, 99);
}

}  // namespace
}  // namespace uitest
