#include "tarkon/document/live_chart.h"

#include "tarkon/document/krv02_doc.h"

bool ChartSource::SameSensor(const ChartSource& other) const {
  if (model != other.model) return false;
  if (connection == other.connection) return true;
  // Across connections only a serial number tells a sensor: two sensors
  // whose serial numbers did not read are not taken for one.
  return !serial.empty() && serial == other.serial;
}

ChartTick ChartContinuity::Tick(const ChartSource& source, bool polled) {
  ChartTick tick;
  if (shown_ && (!shown_->SameSensor(source) || shown_->unit != source.unit)) {
    // Cleared at once, even before a range comes: what the chart holds is
    // not of this sensor.
    tick.clear = true;
    shown_.reset();
    gap_ = false;
  }
  if (!polled) {
    gap_ = true;
    return tick;
  }
  tick.add = true;
  tick.gap = shown_ && (gap_ || shown_->connection != source.connection);
  shown_ = source;
  gap_ = false;
  return tick;
}

ChartTick FollowChart(const CKRV02Doc& doc, LivePanel panel, bool polled, ChartContinuity& continuity) {
  ChartSource source;
  source.connection = doc.sensor().connectionNumber();
  source.model = doc.sensor().modelText();
  source.serial = doc.sensor().serialNumberReplyText();
  source.unit = RangeModeTable::UnitOfFormat(doc.sensor().CurrentRow().unitFormat);
  ChartTick tick = continuity.Tick(source, polled);
  if (tick.add) tick.range = PolledRange(doc, panel);
  return tick;
}
