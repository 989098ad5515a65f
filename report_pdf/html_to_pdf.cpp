#include "report_pdf/html_to_pdf.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QtGlobal>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <iterator>
#include <memory>
#include <regex>

namespace report_pdf {

namespace {

// Qt's messages while the temporary application lives, for the result
// (one call at a time: the application object is process-wide anyway).
std::vector<std::string>* g_messages = nullptr;

void CollectMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
  if (g_messages != nullptr) g_messages->push_back(message.toStdString());
}

PdfResult Render(const std::string& html, const std::string& title) {
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
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                                     QPageLayout::Millimeter));
    QTextDocument document;
    document.setHtml(QString::fromStdString(html));
    document.print(&writer);
  }
  buffer.close();
  result.bytes.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
  result.pages = CountPdfPages(result.bytes);
  result.ok = result.pages >= 1;
  if (!result.ok) result.error = "Qt's PDF writer made no page";
  return result;
}

}  // namespace

PdfResult HtmlToPdf(const std::string& html, const std::string& title) {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) return Render(html, title);
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
    result = Render(html, title);
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
