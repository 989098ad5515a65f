#pragma once
// A report's HTML (made toolkit-free by the engine) turned into PDF by Qt's
// own writer (QTextDocument laid out on QPdfWriter pages, A4 or Letter,
// 15 mm margins). Both Tarkon's window and tarkon-cli use it, so the two
// PDFs are the same; the caller writes the bytes to disk (atomically,
// through files/).

#include <functional>
#include <string>
#include <vector>

namespace report_pdf {

enum class Paper { kA4, kLetter };
// "a4" or "letter" (any case); false for anything else.
bool PaperOfName(const std::string& name, Paper& paper);
const char* PaperName(Paper paper);  // "A4", "Letter"

struct PdfResult {
  bool ok = false;
  bool stopped = false;  // `stop` ended it before the last page
  std::string bytes;     // the whole PDF file
  int pages = 0;
  std::string error;
  // What Qt said while it worked for a program without an application of
  // its own (such as "XDG_RUNTIME_DIR not set"): for the caller to show as
  // it shows notes, or not at all when asked to be quiet.
  std::vector<std::string> messages;
};

// Needs a QGuiApplication for the fonts; a program without one (tarkon-cli)
// gets one for the call, on the offscreen platform unless QT_QPA_PLATFORM
// names another, so no display is needed. `stop` is asked before each
// page; true ends the call without a PDF.
PdfResult HtmlToPdf(const std::string& html, const std::string& title, Paper paper = Paper::kA4,
                    const std::function<bool()>& stop = {});

// Pages of a PDF file as Qt writes it (its page objects).
int CountPdfPages(const std::string& pdf);

}  // namespace report_pdf
