#include "report/cumulative_flux_files.h"

#include <array>

#include "report/output_files.h"

namespace ecflux::report {

void write_series_rows(textio::OutputFile& file, const stats::SeriesRows& rows) {
  const textio::RecordFormat& format = row_format(OutputRole::cumulative_flux);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const double w = rows.w_fluctuation[i];
    const double temperature = rows.temperature_fluctuation[i];
    const std::array<double, 5> values = {rows.time[i], rows.cumulative[i], w * temperature, w,
                                          temperature};
    write_row(file, format, values);
  }
}

}  // namespace ecflux::report
