#include "input/block_reader.h"

#include <cmath>
#include <utility>

namespace ecflux::input {

textio::Result<DataFile> open_data_file(std::string_view name) {
  auto lines = textio::LineReader::open(name, data_unit);
  if (!lines.ok()) return lines.failure();
  DataFile file{textio::ListReader(std::move(lines.value())), {}};
  // A statement of no values skips exactly one record: the header.
  switch (file.list.read({})) {
    case textio::ListReader::Status::complete: return file;
    case textio::ListReader::Status::read_error:
      return file.list.lines().failure(textio::IoCondition::read_error);
    default: return file.list.lines().failure(textio::IoCondition::end_of_file);
  }
}

Block make_block(std::int32_t block_samples) {
  const auto n = static_cast<std::size_t>(block_samples);
  Block block;
  block.sample_time.resize(n);
  block.w.resize(n);
  block.temperature.resize(n);
  block.horizontal_speed.resize(n);
  return block;
}

BlockOutcome read_block(DataFile& file, const ReadSettings& settings, Block& block) {
  block.sum_time = 0.0;
  block.sum_u = 0.0;
  block.sum_v = 0.0;
  block.sum_w = 0.0;
  block.sum_temperature = 0.0;
  block.sample_count = 0.0f;

  auto& values = file.values;
  const int w_column = settings.w_select == 1 ? 4 : 3;
  const int temperature_column = settings.temperature_select == 1 ? 5 : 6;

  for (std::int32_t k = 0; k < settings.block_samples; ++k) {
    block.sample_count += 1.0f;
    double t;
    for (;;) {
      switch (file.list.read(values)) {
        case textio::ListReader::Status::complete: break;
        case textio::ListReader::Status::end_of_file:
          return {BlockStatus::end_of_file, 0, std::nullopt};
        case textio::ListReader::Status::bad_value:
          return {BlockStatus::unreadable_record, file.list.bad_value_line(), std::nullopt};
        case textio::ListReader::Status::read_error:
          return {BlockStatus::read_error, 0,
                  file.list.lines().failure(textio::IoCondition::read_error)};
      }
      t = values[0];
      if (!(settings.start_time > 0.0 && t < settings.start_time)) break;
    }
    if (settings.end_time > 0.0 && t > settings.end_time) {
      return {BlockStatus::past_end_time, 0, std::nullopt};
    }

    const double u = values[1] / 100.0;
    const double v = values[2] / 100.0;
    const double w = values[w_column] / 100.0;
    const double temperature = values[temperature_column] + kelvin_offset;
    block.sample_time[k] = t;
    block.w[k] = w;
    block.temperature[k] = temperature;
    block.horizontal_speed[k] = std::sqrt(u * u + v * v);

    block.sum_u += u;
    block.sum_v += v;
    block.sum_w += w;
    block.sum_time += t;
    block.sum_temperature += temperature;
  }
  return {};
}

}  // namespace ecflux::input
