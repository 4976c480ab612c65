#include "driver/provenance.h"

#include "base/file_paths.h"
#include "flux/time_shifts.h"
#include "flux/window_sweep.h"
#include "report/output_files.h"

namespace ecflux::driver {
namespace {

// The value a field gave, in the order of the configuration's fields.
void set_value(report::RecordedField& field, const input::Configuration& config,
               std::size_t index) {
  switch (index) {
    case 0: field.name_value = config.data_file_name; break;
    case 1: field.name_value = config.results_file_name; break;
    case 2: field.number_value = config.sample_rate; break;
    case 3: field.number_value = config.start_time; break;
    case 4: field.number_value = config.end_time; break;
    case 5: field.integer_value = config.block_seconds; break;
    case 6: field.integer_value = config.temperature_select; break;
    case 7: field.integer_value = config.w_select; break;
    default: field.integer_value = config.window_seconds; break;
  }
}

}  // namespace

std::string now_utc() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
  return report::utc_time(nanoseconds / 1'000'000'000, nanoseconds % 1'000'000'000);
}

std::string_view input_end_name(input::BlockStatus status) {
  switch (status) {
    case input::BlockStatus::complete:
    case input::BlockStatus::end_of_file: return "end_of_file";
    case input::BlockStatus::past_end_time: return "past_end_time";
    case input::BlockStatus::unreadable_record: return "unreadable_record";
  }
  return "end_of_file";
}

report::RecordedQuality recorded_quality(const input::QualityOptions& quality) {
  report::RecordedQuality recorded;
  recorded.despike = quality.despike;
  recorded.missing = quality.missing;
  recorded.fill_values = quality.fill_values;
  recorded.missing_allowance_percent = quality.missing_allowance;
  recorded.rotation = quality.rotation == input::QualityOptions::Rotation::double_rotation
                          ? "double"
                      : quality.rotation == input::QualityOptions::Rotation::planar ? "planar"
                                                                                    : "none";
  recorded.uncertainty = quality.uncertainty;
  recorded.spectra = quality.spectra;
  recorded.density = quality.density;
  recorded.heat_capacity = quality.heat_capacity;
  return recorded;
}

Provenance::Provenance(const input::CommandLine& line)
    : started_(std::chrono::steady_clock::now()) {
  record_.program = "ecflux";
  record_.version = ECFLUX_VERSION;
  record_.command_line = line.words;
  record_.run_folder = base::working_folder();
  record_.csv = line.csv;
  record_.durable = line.durable;
  record_.strict = line.strict;
  record_.quality = recorded_quality(line.quality);
  record_.started_utc = now_utc();
}

void Provenance::record_inputs(const RunInputs& inputs) {
  const input::Configuration& config = inputs.config;
  record_.configuration_path = base::absolute_path(input::configuration_file_name);
  for (std::size_t i = 0; i < inputs.places.size() && i < input::configuration_fields.size(); ++i) {
    const textio::FieldPlace& place = inputs.places[i];
    report::RecordedField field;
    field.name = input::configuration_fields[i];
    field.line = place.line;
    field.first_column = place.first_column;
    field.last_column = place.first_column + static_cast<std::size_t>(place.width) - 1;
    field.text = place.text;
    set_value(field, config, i);
    record_.configuration.push_back(std::move(field));
  }
  record_.block_samples = inputs.sizes.block_samples;
  record_.window_samples = inputs.sizes.window_samples;
  record_.sample_rate = inputs.sizes.sample_rate;
  record_.window_lengths = static_cast<std::int64_t>(flux::window_sequence(inputs.sizes).size());
  record_.delays_searched = flux::max_shift(inputs.sizes.sample_rate);
  record_.data.path = base::absolute_path(config.data_file_name);
  if (const auto facts = inputs.data.list.lines().file_facts()) {
    record_.data.size_bytes = facts->size;
    record_.data.modified_utc =
        report::utc_time(facts->modified_seconds, facts->modified_nanoseconds);
  }
  for (const report::OutputFileInfo& file : report::output_files) {
    if (!report::written_by_run(file, record_.csv, record_.quality.spectra) ||
        file.role == report::OutputRole::standard_output) {
      continue;
    }
    record_.outputs.push_back(
        {std::string(file.description),
         base::absolute_path(report::output_name(file, config.results_file_name))});
  }
}

void Provenance::record_plane(const qc::Plane& plane) {
  record_.quality.plane = {plane.offset, plane.slope_u, plane.slope_v, plane.pitch, plane.roll};
}

void Provenance::record_end(RunInputs& inputs, const DataSummary& summary,
                            const input::DataWarnings& warnings, std::vector<int> quality_flags,
                            std::vector<base::Warning> found) {
  report::RecordedData& data = record_.data;
  textio::LineReader& lines = inputs.data.list.lines();
  data.lines_read = lines.line_number();
  if (const auto hash = lines.finish_hash()) {
    data.xxh3_64 = hash->xxh3_64;
    data.bytes_hashed = hash->bytes;
    data.hash_of_whole_file = hash->whole_file;
  }
  const input::ReadCounts& counts = inputs.data.counts;
  data.records_read = counts.records;
  data.records_before_start = counts.skipped;
  if (counts.accepted > 0) {
    data.first_time = counts.first_time;
    data.last_time = counts.last_time;
  }
  data.input_end = input_end_name(summary.end.status);
  data.time_unit = warnings.time_unit();
  record_.blocks = summary.blocks;
  record_.samples_dropped = summary.end.samples;
  record_.quality_flags = std::move(quality_flags);
  record_.warnings = std::move(found);
  record_.finished_utc = now_utc();
  record_.wall_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
}

}  // namespace ecflux::driver
