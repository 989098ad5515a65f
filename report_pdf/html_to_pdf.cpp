#include "report_pdf/html_to_pdf.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QGuiApplication>
#include <QtGlobal>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextFrame>
#include <cctype>
#include <iterator>
#include <memory>
#include <regex>

#include "report_pdf/report_layout.h"

namespace report_pdf {

namespace {

// Qt's messages while the temporary application lives, for the result
// (one call at a time: the application object is process-wide anyway).
std::vector<std::string>* g_messages = nullptr;

void CollectMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
  if (g_messages != nullptr) g_messages->push_back(message.toStdString());
}

PdfResult Render(const std::string& html, const std::string& title, Paper paper, const std::function<bool()>& stop) {
  PdfResult result;
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly)) {
    result.error = "cannot make the PDF in memory";
    return result;
  }
  {
    QPdfWriter writer(&buffer);
    writer.setTitle(QString::fromStdString(title));
    writer.setCreator(QStringLiteral("Tarkon"));
    SetPaper(writer, paper);
    const std::unique_ptr<QTextDocument> document = LayOutPages(html, writer);
    // Page by page rather than QTextDocument::print, which would add margins
    // of its own inside the page's and could not be stopped.
    QPainter painter;
    if (!painter.begin(&writer)) {
      result.error = "Qt's PDF writer did not start";
      return result;
    }
    const QSizeF page = document->pageSize();
    const int pages = document->pageCount();
    for (int i = 0; i < pages; ++i) {
      if (stop && stop()) {
        painter.end();
        result.stopped = true;
        result.error = "stopped";
        return result;
      }
      if (i > 0) writer.newPage();
      const QRectF view(0, i * page.height(), page.width(), page.height());
      painter.save();
      painter.translate(0, -view.top());
      document->drawContents(&painter, view);
      painter.restore();
    }
    painter.end();
  }
  buffer.close();
  result.bytes.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
  result.pages = CountPdfPages(result.bytes);
  result.ok = result.pages >= 1;
  if (!result.ok) result.error = "Qt's PDF writer made no page";
  return result;
}

}  // namespace

bool PaperOfName(const std::string& name, Paper& paper) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "a4") {
    paper = Paper::kA4;
    return true;
  }
  if (lower == "letter") {
    paper = Paper::kLetter;
    return true;
  }
  return false;
}

const char* PaperName(Paper paper) { return paper == Paper::kLetter ? "Letter" : "A4"; }

void SetPaper(QPagedPaintDevice& device, Paper paper) {
  device.setPageLayout(QPageLayout(QPageSize(paper == Paper::kLetter ? QPageSize::Letter : QPageSize::A4),
                                   QPageLayout::Portrait, QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
}

std::unique_ptr<QTextDocument> LayOutPages(const std::string& html, QPagedPaintDevice& device) {
  auto document = std::make_unique<QTextDocument>();
  // Fonts and the pixels of borders and padding at the device's resolution.
  document->documentLayout()->setPaintDevice(&device);
  document->setHtml(QString::fromStdString(html));
  QTextFrameFormat root = document->rootFrame()->frameFormat();
  root.setMargin(0);
  document->rootFrame()->setFrameFormat(root);
  document->setPageSize(QSizeF(device.width(), device.height()));
  return document;
}

PdfResult HtmlToPdf(const std::string& html, const std::string& title, Paper paper,
                    const std::function<bool()>& stop) {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
    return Render(html, title, paper, stop);
  if (QCoreApplication::instance() != nullptr) {
    PdfResult refused;
    refused.error = "the PDF writer needs a graphical application object";
    return refused;
  }
  // No display is needed for text on paper.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static char name[] = "tarkon-cli";
  static char* argv[] = {name, nullptr};
  int argc = 1;
  std::vector<std::string> messages;
  g_messages = &messages;
  const QtMessageHandler previous = qInstallMessageHandler(CollectMessage);
  PdfResult result;
  {
    QGuiApplication app(argc, argv);
    result = Render(html, title, paper, stop);
  }
  qInstallMessageHandler(previous);
  g_messages = nullptr;
  result.messages = std::move(messages);
  return result;
}

int CountPdfPages(const std::string& pdf) {
  static const std::regex page("/Type\\s*/Page(?![a-zA-Z])");
  return static_cast<int>(std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator()));
}

}  // namespace report_pdf
