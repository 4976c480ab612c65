#include "tests/program/run_files.h"

namespace ecflux::testing {

void copy_record(std::string_view record, const TempFolder& folder) {
  const std::filesystem::path from = std::filesystem::path(EXPECTED_FOLDER) / record / "input";
  for (const auto& entry : std::filesystem::directory_iterator(from)) {
    std::filesystem::copy(entry.path(), folder / entry.path().filename().string());
  }
}

std::vector<std::map<std::string, std::string>> csv_rows(std::string_view text) {
  const std::vector<std::string> records = split_records(text);
  std::vector<std::map<std::string, std::string>> rows;
  if (records.empty()) return rows;
  const std::vector<std::string> names = split_csv_fields(records[0]);
  for (std::size_t r = 1; r < records.size(); ++r) {
    const std::vector<std::string> fields = split_csv_fields(records[r]);
    std::map<std::string, std::string>& row = rows.emplace_back();
    for (std::size_t i = 0; i < names.size() && i < fields.size(); ++i) row[names[i]] = fields[i];
  }
  return rows;
}

nlohmann::json read_run_record(const TempFolder& folder) {
  return nlohmann::json::parse(folder.read("run.json"));
}

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string_view::npos; start = end + 1) {
    lines.emplace_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

ProcessResult run_ecflux(const TempFolder& folder, std::vector<std::string> arguments,
                         unsigned user) {
  ProcessOptions options;
  options.arguments = std::move(arguments);
  options.limit = std::chrono::seconds(60);
  options.user = user;
  return run_program(ECFLUX_PROGRAM, folder.path(), options);
}

}  // namespace ecflux::testing
