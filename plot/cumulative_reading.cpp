#include "plot/cumulative_reading.h"

#include <utility>

#include "plot/decimator.h"
#include "report/output_files.h"

namespace ecflux::plot {

base::Result<CumulativeSeries> read_cumulative(textio::LineReader& file, std::string file_label,
                                               const SampleClock* clock, bool shifted) {
  const textio::RecordFormat& format = report::row_format(report::OutputRole::cumulative_flux);
  CumulativeSeries series;
  series.file_label = std::move(file_label);
  Decimator by_time, by_sample;
  std::string_view record;
  std::vector<Field> row;
  for (std::int64_t r = -1;; ++r) {
    ECFLUX_TRY_VALUE(line, file.next(record));
    if (!line) break;
    if (r < 0) continue;  // the header
    ++series.rows;
    read_fields(format, record, row);
    if (r == 0) series.first_time = row[0].state;
    series.last_time = row[0].state;
    if (clock) {
      if (series.flux_of_every_row.take(row[1])) {
        by_sample.add(shifted ? clock->shifted_row(r) : clock->plain_row(r), row[1].value);
      } else {
        by_sample.gap();
      }
    }
    if (!series.skipped[0].count.take(row[0]) || !series.skipped[1].count.take(row[1])) {
      by_time.gap();
      continue;
    }
    by_time.add(row[0].value, row[1].value);
  }
  by_time.fill(series.by_time);
  by_sample.fill(series.by_sample);
  return series;
}

}  // namespace ecflux::plot
