#include "report/window_flux_table.h"

#include "report/output_files.h"
#include "textio/fields.h"

namespace ecflux::report {
namespace {

char* put_blocks(char* out, std::span<const double> values) {
  const textio::RecordFormat::Field& field = block_field();
  for (const double value : values) out = textio::put_real(out, value, field.width, field.decimals);
  return out;
}

}  // namespace

void write_spectra_table(textio::OutputFile& file, std::span<const double> block_mean_time,
                         const flux::WindowFluxTable& table, double sample_rate) {
  const std::string_view header = output_file(OutputRole::window_flux_table).header;
  const textio::RecordFormat& leading = row_format(OutputRole::window_flux_table);
  const std::size_t blocks = block_mean_time.size();
  const std::size_t block_columns = blocks * static_cast<std::size_t>(block_field().width);

  char* p = file.begin_record(header.size() + block_columns);
  p = textio::put_text(p, header, static_cast<int>(header.size()));
  file.end_record(put_blocks(p, block_mean_time));

  if (blocks == 0) return;
  const std::size_t windows = table.window_count();
  std::vector<double> row(blocks);
  for (std::size_t k = 0; k < windows; ++k) {
    const double frequency = 1.0 / (table.window_length[k] / sample_rate);
    for (std::size_t b = 0; b < blocks; ++b) row[b] = table.window_flux[b * windows + k];
    p = file.begin_record(leading.length() + block_columns);
    p = leading.put(p, std::span(&frequency, 1));
    file.end_record(put_blocks(p, row));
  }
}

}  // namespace ecflux::report
