#pragma once
// How HtmlToPdf lays a report out on its pages, for the writer itself and
// for a test that looks at where each line of a table cell breaks.

#include <QPagedPaintDevice>
#include <QTextDocument>
#include <memory>
#include <string>

#include "report_pdf/html_to_pdf.h"

namespace report_pdf {

// The paper, portrait, with 15 mm margins on every side.
void SetPaper(QPagedPaintDevice& device, Paper paper);
// `html` laid out for the paintable area of `device`, page by page (page
// size in the device's pixels, no margins of its own): what HtmlToPdf
// draws, one page after the other.
std::unique_ptr<QTextDocument> LayOutPages(const std::string& html, QPagedPaintDevice& device);

}  // namespace report_pdf
