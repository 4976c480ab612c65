#include "report/frequency_table.h"

#include "textio/fields.h"

namespace ecflux::report {
namespace {

constexpr std::string_view frequency_label = "     FREQ";
constexpr int frequency_width = 9;
constexpr int frequency_decimals = 6;
constexpr int value_width = 9;
constexpr int value_decimals = 4;

}  // namespace

void write_spectra_table(textio::OutputFile& file, std::span<const double> block_mean_time,
                         const flux::WindowTable& table, double sample_rate) {
  const std::size_t blocks = block_mean_time.size();
  const std::size_t record_length = 1 + frequency_width + blocks * value_width;

  char* p = file.begin_record(record_length);
  p = textio::put_blanks(p, 1);
  p = textio::put_text(p, frequency_label, frequency_width);
  for (const double time : block_mean_time)
    p = textio::put_real(p, time, value_width, value_decimals);
  file.end_record(p);

  if (blocks == 0) return;
  const std::size_t windows = table.window_count();
  for (std::size_t k = 0; k < windows; ++k) {
    const double frequency = 1.0 / (table.window_length[k] / sample_rate);
    p = file.begin_record(record_length);
    p = textio::put_blanks(p, 1);
    p = textio::put_real(p, frequency, frequency_width, frequency_decimals);
    for (std::size_t b = 0; b < blocks; ++b) {
      p = textio::put_real(p, table.window_flux[b * windows + k], value_width, value_decimals);
    }
    file.end_record(p);
  }
}

}  // namespace ecflux::report
