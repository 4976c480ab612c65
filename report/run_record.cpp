#include "report/run_record.h"

#include <ctime>

#include <nlohmann/json.hpp>

namespace ecflux::report {

namespace {

using Json = nlohmann::ordered_json;

// Numbers that are not finite have no JSON form: they are null.
Json number(double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); }

template <class T>
Json optional(const std::optional<T>& value) {
  if (!value) return nullptr;
  if constexpr (std::is_same_v<T, double>) return number(*value);
  return Json(*value);
}

Json configuration_json(const RunRecord& record) {
  Json fields = Json::array();
  for (const RecordedField& field : record.configuration) {
    fields.push_back({{"name", field.name},
                      {"line", field.line},
                      {"first_column", field.first_column},
                      {"last_column", field.last_column},
                      {"text", field.text},
                      {"value", field.name_value      ? Json(*field.name_value)
                                : field.integer_value ? Json(*field.integer_value)
                                                      : number(field.number_value)}});
  }
  return {{"path", record.configuration_path}, {"fields", std::move(fields)}};
}

Json data_json(const RecordedData& data) {
  return {{"path", data.path},
          {"size_bytes", optional(data.size_bytes)},
          {"modified_utc", optional(data.modified_utc)},
          {"xxh3_64", optional(data.xxh3_64)},
          {"bytes_hashed", data.bytes_hashed},
          {"hash_of_whole_file", data.hash_of_whole_file},
          {"lines_read", data.lines_read},
          {"records_read", data.records_read},
          {"records_before_start", data.records_before_start},
          {"first_time", optional(data.first_time)},
          {"last_time", optional(data.last_time)},
          {"input_end", data.input_end},
          {"time_unit", data.time_unit}};
}

Json warnings_json(const std::vector<base::Warning>& warnings) {
  Json list = Json::array();
  for (const base::Warning& warning : warnings) {
    list.push_back({{"kind", std::string(base::warning_kind_name(warning.kind))},
                    {"file", warning.file},
                    {"line", warning.line},
                    {"count", warning.count},
                    {"text", warning.text}});
  }
  return list;
}

Json quality_json(const RecordedQuality& quality) {
  Json json = {{"despike", quality.despike},
               {"missing", quality.missing},
               {"fill_values", quality.fill_values},
               {"missing_allowance_percent", number(quality.missing_allowance_percent)},
               {"rotation", quality.rotation},
               {"uncertainty", quality.uncertainty},
               {"spectra", quality.spectra},
               {"density_kg_m3", number(quality.density)},
               {"heat_capacity_J_kg_K", number(quality.heat_capacity)},
               {"plane", nullptr}};
  if (quality.plane) {
    json["plane"] = {{"offset_m_s", number(quality.plane->offset_m_s)},
                     {"slope_u", number(quality.plane->slope_u)},
                     {"slope_v", number(quality.plane->slope_v)},
                     {"pitch_deg", number(quality.plane->pitch_deg)},
                     {"roll_deg", number(quality.plane->roll_deg)}};
  }
  return json;
}

}  // namespace

std::string run_record_json(const RunRecord& record) {
  Json outputs = Json::array();
  for (const RunRecord::Output& output : record.outputs) {
    outputs.push_back({{"description", output.description}, {"path", output.path}});
  }
  const Json json = {
      {"program", record.program},
      {"version", record.version},
      {"command_line", record.command_line},
      {"run_folder", record.run_folder},
      {"options", {{"csv", record.csv}, {"durable", record.durable}, {"strict", record.strict}}},
      {"quality_control", quality_json(record.quality)},
      {"timing",
       {{"started_utc", record.started_utc},
        {"finished_utc", record.finished_utc},
        {"wall_seconds", number(record.wall_seconds)}}},
      {"configuration", configuration_json(record)},
      {"sizes",
       {{"block_samples", record.block_samples},
        {"window_samples", record.window_samples},
        {"sample_rate", number(record.sample_rate)},
        {"window_lengths", record.window_lengths},
        {"largest_delay_samples", record.delays_searched}}},
      {"data", data_json(record.data)},
      {"blocks",
       {{"complete", record.blocks},
        {"samples_dropped", record.samples_dropped},
        {"quality_flags", record.quality_flags}}},
      {"outputs", std::move(outputs)},
      {"warnings", warnings_json(record.warnings)},
  };
  return json.dump(2) + "\n";
}

std::string utc_time(std::int64_t seconds, std::int64_t nanoseconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[40];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
  std::snprintf(text + length, sizeof text - length, ".%03dZ",
                static_cast<int>(nanoseconds / 1'000'000));
  return text;
}

}  // namespace ecflux::report
