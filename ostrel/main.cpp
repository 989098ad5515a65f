// Ostrel: setup and test of the KRV04-BF board flipper sensor.
//
// OSTREL_VIRTUAL_SENSOR=1 starts it connected to a virtual board flipper.
// "ostrel --screenshots DIR" connects to the virtual board flipper, saves
// each tab as DIR/ostrel-<tab>.png, then uploads a small generated image in
// factory mode and saves DIR/ostrel-upload-before.png (its question),
// -during.png (mid-transfer) and -after.png (its result), and ends. "ostrel --help" and
// "ostrel --version" answer and end. "ostrel --port PORT [--baud N]
// [--address N]" connects at start the way the Connect button does; a
// value the Connect tab does not offer ends the program with exit code 2
// before the window opens.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "ostrel/app/command_line.h"
#include "ostrel/app/ostrel_ini.h"
#include "ostrel/ui/about_box.h"
#include "ostrel/ui/main_window.h"

namespace {
// Help and version go to standard output; true when the program ends here.
bool Answered(const ostrel::OstrelCommandLine& line) {
  using Action = ostrel::OstrelCommandLine::Action;
  if (line.action != Action::kHelp && line.action != Action::kVersion) return false;
  std::fputs(line.text.c_str(), stdout);
  return true;
}

int Refuse(const std::string& text) {
  std::fprintf(stderr, "ostrel: %s\nTry \"ostrel --help\".\n", text.c_str());
  return 2;
}

// The window with a dialog over it, as the screen shows them, the dialog
// in the middle and framed.
QPixmap WindowWithDialog(QWidget& window, QWidget& dialog) {
  QPixmap picture = window.grab();
  const QPixmap over = dialog.grab();
  const QPoint at((picture.width() - over.width()) / 2, (picture.height() - over.height()) / 2);
  QPainter painter(&picture);
  painter.drawPixmap(at, over);
  painter.setPen(window.palette().color(QPalette::Shadow));
  painter.drawRect(QRect(at, over.size()).adjusted(-1, -1, 0, 0));
  return picture;
}

// Factory mode, as a technician enters it: the password typed into the
// about box.
void EnterFactoryMode(ostrel::MainWindow& window) {
  ostrel::AboutBox* about = window.aboutBox();
  QTimer::singleShot(0, about, [about] {
    for (const char key : std::string(ostrel::AboutBox::kPassword)) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_A + (key - 'a'), Qt::NoModifier, QString(QLatin1Char(key)));
      QCoreApplication::sendEvent(about->passwordField(), &press);
    }
    about->accept();
  });
  window.findChild<QPushButton*>("btnAbout")->click();
}

// The firmware upload of the Settings tab to the virtual board flipper,
// pictured before (the question, the chosen image named), during and after
// (the result) the transfer. Each dialog is answered once it is shown.
class UploadPictures : public QObject {
 public:
  UploadPictures(ostrel::MainWindow& window, QString dir) : window_(window), dir_(std::move(dir)) {}

  // Uploads a generated image from a temporary folder; true when the
  // upload completed and the three pictures were saved.
  bool Run() {
    QTemporaryDir folder;
    image_ = folder.filePath(QStringLiteral("krv04-bf-dsp.bin"));
    QFile file(image_);
    if (!folder.isValid() || !file.open(QIODevice::WriteOnly)) return Fail("cannot write the image to upload");
    QByteArray bytes(kImageBytes, '\0');
    for (int i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13 + 5);
    file.write(bytes);
    file.close();

    EnterFactoryMode(window_);
    if (!window_.factoryMode()) return Fail("factory mode did not come on");
    window_.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(1);
    window_.findChild<QComboBox*>("cboUpload")->setCurrentIndex(0);  // DSP
    auto* bar = window_.findChild<QProgressBar*>("pBar");
    QObject::connect(bar, &QProgressBar::valueChanged, this, [this](int percent) {
      if (during_ || percent < kDuringPercent) return;
      during_ = true;
      // Once the progress text beside the bar has been brought up to date.
      QTimer::singleShot(0, this, [this] { Save("during", window_.grab()); });
    });
    qApp->installEventFilter(this);
    window_.findChild<QPushButton*>("btnUpload")->click();
    qApp->removeEventFilter(this);
    if (!during_) return Fail("no progress was seen");
    if (!answeredResult_) return Fail("no result was shown");
    return saved_ == 3 && failure_.isEmpty();
  }
  const QString& failure() const { return failure_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (event->type() == QEvent::Show && dialog != nullptr && dialog->isWindow()) {
      QTimer::singleShot(0, this, [this, shown = QPointer<QDialog>(dialog)] {
        if (shown != nullptr && shown->isVisible()) Answer(*shown);
      });
    }
    return false;
  }

 private:
  static constexpr int kImageBytes = 8192;  // 64 blocks
  static constexpr int kDuringPercent = 40;

  void Answer(QDialog& dialog) {
    if (auto* files = qobject_cast<QFileDialog*>(&dialog)) {
      // Typed into the name box, as a user does.
      if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        name->setText(image_);
      } else {
        files->selectFile(image_);
      }
      dialog.accept();  // public in QDialog
      return;
    }
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    if (box != nullptr && box->objectName() == QLatin1String("uploadResult")) {
      answeredResult_ = true;
      Save("after", WindowWithDialog(window_, *box));
      box->accept();
    } else if (box != nullptr && box->button(QMessageBox::Yes) != nullptr && !answeredQuestion_) {
      answeredQuestion_ = true;  // "Continue with Dsp Firmware upload?"
      Save("before", WindowWithDialog(window_, *box));
      box->button(QMessageBox::Yes)->click();
    } else {
      dialog.reject();  // anything else (a restore offered) is left as it is
    }
  }

  void Save(const char* stage, const QPixmap& picture) {
    const QString path = dir_ + QStringLiteral("/ostrel-upload-") + QLatin1String(stage) + QStringLiteral(".png");
    if (picture.save(path, "PNG")) {
      ++saved_;
    } else {
      Fail("cannot write " + path);
    }
  }
  bool Fail(const QString& why) {
    if (failure_.isEmpty()) failure_ = why;
    return false;
  }

  ostrel::MainWindow& window_;
  QString dir_;
  QString image_;
  QString failure_;
  bool during_ = false;
  bool answeredQuestion_ = false;
  bool answeredResult_ = false;
  int saved_ = 0;
};
}  // namespace

int main(int argc, char** argv) {
  // --help and --version are answered before the toolkit starts, so they
  // need no display. A word the parser does not know may be one of the
  // toolkit's own options: it is judged again once the toolkit has taken
  // those out.
  QStringList words;
  for (int i = 0; i < argc; ++i) words << QString::fromLocal8Bit(argv[i]);
  if (Answered(ostrel::ParseOstrelCommandLine(words))) return 0;
  QApplication app(argc, argv);
  app.setApplicationName("Ostrel");
  app.setApplicationVersion(LRS_VERSION);
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.LaserRangeSetup.Ostrel"));
  const ostrel::OstrelCommandLine line = ostrel::ParseOstrelCommandLine(QCoreApplication::arguments());
  if (Answered(line)) return 0;
  if (line.action == ostrel::OstrelCommandLine::Action::kRefuse) return Refuse(line.text);
  // The pictures answer the file dialog through its widgets.
  if (line.screenshots) QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  bool perUser = false;
  const std::string path = ostrel::OstrelIni::ChoosePath(QCoreApplication::applicationDirPath().toStdString(),
                                                         std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"), &perUser);
  ostrel::MainWindow window(path, perUser ? "Settings in " + path + " (the program's directory is read-only)" : "");
  if (line.connect) {
    if (const std::string refusal = window.ConnectAtStart(*line.connect); !refusal.empty()) return Refuse(refusal);
  }
  window.show();
  if (line.screenshots) {
    const QString dir = *line.screenshots;
    QDir().mkpath(dir);
    window.ConnectToVirtualSensor();
    auto* tabs = window.findChild<QTabWidget*>("PageControl1");
    const char* names[] = {"connect", "settings", "view"};
    bool saved = true;
    for (int i = 0; i < 3; ++i) {
      tabs->setCurrentIndex(i);
      QCoreApplication::processEvents();
      saved = window.grab().save(dir + "/ostrel-" + names[i] + ".png") && saved;
    }
    if (!saved) std::fprintf(stderr, "ostrel: cannot write the pictures of the tabs in %s\n", qPrintable(dir));
    UploadPictures upload(window, dir);
    if (!upload.Run()) {
      std::fprintf(stderr, "ostrel: the pictures of the upload: %s\n", qPrintable(upload.failure()));
      saved = false;
    }
    return saved ? 0 : 1;
  }
  const char* virtualSensor = std::getenv("OSTREL_VIRTUAL_SENSOR");
  if (virtualSensor != nullptr && std::string(virtualSensor) == "1")
    QTimer::singleShot(0, &window, [&window] { window.ConnectToVirtualSensor(); });
  return app.exec();
}
