#include "plot/run_record_reading.h"

#include <nlohmann/json.hpp>

namespace ecflux::plot {
namespace {

using Json = nlohmann::json;

// The member `key` of an object, or null.
const Json& member(const Json& object, const char* key) {
  static const Json null;
  if (!object.is_object()) return null;
  const auto found = object.find(key);
  return found == object.end() ? null : *found;
}

// The elements of an array; none of anything else.
const Json& elements(const Json& json) {
  static const Json none = Json::array();
  return json.is_array() ? json : none;
}

void take(const Json& json, bool& value) {
  if (json.is_boolean()) value = json.get<bool>();
}

void take(const Json& json, double& value) {
  if (json.is_number()) value = json.get<double>();
}

void take(const Json& json, std::int64_t& value) {
  if (json.is_number_integer()) value = json.get<std::int64_t>();
}

void take(const Json& json, std::string& value) {
  if (json.is_string()) value = json.get<std::string>();
}

void take(const Json& json, std::uint64_t& value) {
  if (json.is_number_unsigned()) value = json.get<std::uint64_t>();
}

template <class T>
void take(const Json& json, std::optional<T>& value) {
  T taken{};
  bool found = false;
  if constexpr (std::is_same_v<T, std::string>) {
    found = json.is_string();
  } else if constexpr (std::is_same_v<T, double>) {
    found = json.is_number();
  } else {
    found = json.is_number_unsigned();
  }
  if (!found) return;
  take(json, taken);
  value = taken;
}

report::RecordedQuality quality_of(const Json& json) {
  report::RecordedQuality quality;
  take(member(json, "despike"), quality.despike);
  take(member(json, "missing"), quality.missing);
  for (const Json& value : elements(member(json, "fill_values"))) {
    if (value.is_number()) quality.fill_values.push_back(value.get<double>());
  }
  take(member(json, "missing_allowance_percent"), quality.missing_allowance_percent);
  take(member(json, "rotation"), quality.rotation);
  take(member(json, "uncertainty"), quality.uncertainty);
  take(member(json, "spectra"), quality.spectra);
  take(member(json, "density_kg_m3"), quality.density);
  take(member(json, "heat_capacity_J_kg_K"), quality.heat_capacity);
  const Json& plane = member(json, "plane");
  if (plane.is_object()) {
    report::RecordedQuality::Plane taken;
    take(member(plane, "offset_m_s"), taken.offset_m_s);
    take(member(plane, "slope_u"), taken.slope_u);
    take(member(plane, "slope_v"), taken.slope_v);
    take(member(plane, "pitch_deg"), taken.pitch_deg);
    take(member(plane, "roll_deg"), taken.roll_deg);
    quality.plane = taken;
  }
  return quality;
}

report::RecordedData data_of(const Json& json) {
  report::RecordedData data;
  take(member(json, "path"), data.path);
  take(member(json, "size_bytes"), data.size_bytes);
  take(member(json, "modified_utc"), data.modified_utc);
  take(member(json, "xxh3_64"), data.xxh3_64);
  take(member(json, "bytes_hashed"), data.bytes_hashed);
  take(member(json, "hash_of_whole_file"), data.hash_of_whole_file);
  take(member(json, "lines_read"), data.lines_read);
  take(member(json, "records_read"), data.records_read);
  take(member(json, "first_time"), data.first_time);
  take(member(json, "last_time"), data.last_time);
  take(member(json, "input_end"), data.input_end);
  take(member(json, "time_unit"), data.time_unit);
  return data;
}

std::vector<RecordedWarning> warnings_of(const Json& json) {
  std::vector<RecordedWarning> warnings;
  for (const Json& entry : elements(json)) {
    RecordedWarning warning;
    take(member(entry, "kind"), warning.kind);
    take(member(entry, "file"), warning.file);
    take(member(entry, "line"), warning.line);
    take(member(entry, "count"), warning.count);
    take(member(entry, "text"), warning.text);
    warnings.push_back(std::move(warning));
  }
  return warnings;
}

}  // namespace

base::Result<RunRecordFacts> parse_run_record(std::string_view text) {
  const Json json = Json::parse(text, nullptr, false);
  if (!json.is_object()) return base::Refusal{"it is not a JSON object"};
  RunRecordFacts facts;
  take(member(json, "version"), facts.version);
  const Json& options = member(json, "options");
  take(member(options, "csv"), facts.csv);
  take(member(options, "durable"), facts.durable);
  take(member(options, "strict"), facts.strict);
  facts.quality = quality_of(member(json, "quality_control"));
  facts.data = data_of(member(json, "data"));
  const Json& blocks = member(json, "blocks");
  take(member(blocks, "complete"), facts.blocks);
  // A flag is 0, 1 or 2; anything else is not known (-1).
  for (const Json& flag : elements(member(blocks, "quality_flags"))) {
    std::int64_t value = -1;
    take(flag, value);
    facts.quality_flags.push_back(value >= 0 && value <= 2 ? static_cast<int>(value) : -1);
  }
  facts.warnings = warnings_of(member(json, "warnings"));
  return facts;
}

}  // namespace ecflux::plot
