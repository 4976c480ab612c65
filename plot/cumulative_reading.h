#pragma once

// The two cumulative-flux files read for their plot. A file has a row per
// sample, far more than a drawing shows, so each is thinned while it is read,
// a row at a time, both ways at once: against TIME, and against the time
// since the first sample. Which is drawn is known only at the end, when
// every TIME has been seen.

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "plot/chart.h"
#include "plot/fields.h"
#include "plot/sample_clock.h"
#include "textio/line_reader.h"

namespace ecflux::plot {

struct CumulativeSeries {
  std::string file_label;   // the file as notes name it
  Pieces<Point> by_time;    // CUMFLUX against TIME
  Pieces<Point> by_sample;  // CUMFLUX against the time since the first sample
  // Of the rows with a TIME; a row without one is not looked at further.
  std::vector<SkippedColumn> skipped = {{"TIME", {}}, {"CUMFLUX", {}}};
  // CUMFLUX of every row, of which by_sample drops none for its time.
  SkipCount flux_of_every_row;
  std::int64_t rows = 0;
  FieldState first_time = FieldState::number;
  FieldState last_time = FieldState::number;

  std::int64_t asterisk_times() const { return skipped[0].count.asterisks; }
  // Times beyond the field's room at the start or the end of the record: a
  // TIME axis would not reach that end. A lone field of asterisks within the
  // record leaves only a gap.
  bool time_cut_short() const {
    return first_time == FieldState::asterisks || last_time == FieldState::asterisks;
  }
};

// CUMFLUX of "cumflux.out" or, `shifted`, of "CFSHIFT.out", each thinned to
// a few thousand points; rows without a TIME are left out of by_time. Only
// with a clock is every row placed by its sample for by_sample.
base::Result<CumulativeSeries> read_cumulative(textio::LineReader& file, std::string file_label,
                                               const SampleClock* clock, bool shifted);

}  // namespace ecflux::plot
