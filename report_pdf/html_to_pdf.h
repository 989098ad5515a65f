#pragma once
// A report's HTML (made toolkit-free by the engine) turned into PDF by Qt's
// own writer (QTextDocument onto QPdfWriter, A4). Both Tarkon's window and
// tarkon-cli use it, so the two PDFs are the same; the caller writes the
// bytes to disk (atomically, through files/).

#include <string>
#include <vector>

namespace report_pdf {

struct PdfResult {
  bool ok = false;
  std::string bytes;  // the whole PDF file
  int pages = 0;
  std::string error;
  // What Qt said while it worked for a program without an application of
  // its own (such as "XDG_RUNTIME_DIR not set"): for the caller to show as
  // it shows notes, or not at all when asked to be quiet.
  std::vector<std::string> messages;
};

// Needs a QGuiApplication for the fonts; a program without one (tarkon-cli)
// gets one for the call, on the offscreen platform unless QT_QPA_PLATFORM
// names another, so no display is needed.
PdfResult HtmlToPdf(const std::string& html, const std::string& title);

// Pages of a PDF file as Qt writes it (its page objects).
int CountPdfPages(const std::string& pdf);

}  // namespace report_pdf
