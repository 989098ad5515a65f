#include "tarkon/ui/window_size.h"

#include <QFontMetrics>
#include <QStyle>
#include <QWidget>
#include <algorithm>
#include <string>
#include <vector>

#include "tarkon/fleet/setting_layout.h"
#include "tarkon/models/model_table.h"

namespace {

// Names of the "Sensor" tab besides the settings of each model.
const char* const kSensorRowNames[] = {"Serial number", "Model String:",  "Firmware:",         "FPGA version",
                                       "Address",       "Sensor baudrate", "Error checking mode", "Serial Number"};
// The widest kinds of value: a range with its unit, a switch, a check mode.
const char* const kValueSamples[] = {"-0000.000 inch", "Disabled", "Checksum"};

int Widest(const QFontMetrics& fm, const std::vector<std::string>& texts) {
  int widest = 0;
  for (const std::string& t : texts) widest = std::max(widest, fm.horizontalAdvance(QString::fromStdString(t)));
  return widest;
}

}  // namespace

int SetupPaneWidth(const QWidget* list) {
  const QFontMetrics fm = list->fontMetrics();
  // A selected row is drawn in bold: it must fit too.
  QFont bold = list->font();
  bold.setBold(true);
  const QFontMetrics boldFm(bold);

  std::vector<std::string> names(std::begin(kSensorRowNames), std::end(kSensorRowNames));
  for (int model = 0; model < kModelCount; ++model) {
    for (const fleet::SettingLayout& layout : fleet::LayoutOfModel(model)) names.emplace_back(layout.name);
  }
  std::vector<std::string> values(std::begin(kValueSamples), std::end(kValueSamples));
  for (const ModelStringEntry& entry : ModelStringTable()) values.emplace_back(entry.modelString);

  const QStyle* style = list->style();
  // The item's text margins on both sides, and a little air.
  const int margin = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1) + 8;
  const int nameColumn = std::max(Widest(fm, names), Widest(boldFm, names)) + margin;
  const int valueColumn = std::max(Widest(fm, values), Widest(boldFm, values)) + margin;
  // Names take two fifths of the list, values the rest.
  const int listWidth = std::max((nameColumn * 5 + 1) / 2, (valueColumn * 5 + 2) / 3);
  // The list's frame and scroll bar, the tab page, the dock's own edges.
  const int chrome = style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list) +
                     4 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, list) + 24;
  return listWidth + chrome;
}

QSize DefaultWindowSize(const QWidget* window, int setupWidth) {
  const QFontMetrics fm = window->fontMetrics();
  // The sensor view: its list (short names) and its chart side by side,
  // together half as wide again as the setup pane, at least room for the
  // list and the chart's own wish.
  const int view = std::max(setupWidth * 3 / 2, 760);
  // Twenty rows of the longest settings list, the tabs, the command log,
  // the bars: in lines of text, so a larger font gets a taller window.
  const int height = std::max(720, 36 * fm.height() + 160);
  return {setupWidth + view, height};
}
