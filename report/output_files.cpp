#include "report/output_files.h"
#include "base/assert.h"

namespace ecflux::report {

const textio::RecordFormat& row_format(OutputRole role) {
  // The table's layouts are all well formed, so every format exists.
  static const auto formats = [] {
    std::array<textio::RecordFormat, output_files.size()> made;
    for (std::size_t i = 0; i < made.size(); ++i) {
      made[i] = *textio::RecordFormat::make(output_files[i].row_layout);
    }
    return made;
  }();
  return formats[table_index(role)];
}

void write_row(textio::OutputFile& file, const textio::RecordFormat& format,
               std::span<const double> values) {
  file.end_record(format.put(file.begin_record(format.length()), values));
}

const textio::RecordFormat::Field& block_field() {
  static const textio::RecordFormat format =
      *textio::RecordFormat::make(output_file(OutputRole::window_flux_table).repeated_field);
  ECFLUX_ASSERT(format.fields().size() == 1, "the field of a block is one field");
  return format.fields()[0];
}

}  // namespace ecflux::report
