#include "plot/csv_reader.h"

#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

namespace ecflux::plot {

void split_csv(std::string_view record, std::vector<std::string_view>& fields,
               std::size_t field_limit) {
  fields.clear();
  std::size_t begin = 0;
  while (fields.size() + 1 < field_limit) {
    const auto comma = record.find(',', begin);
    if (comma == std::string_view::npos) break;
    fields.push_back(record.substr(begin, comma - begin));
    begin = comma + 1;
  }
  fields.push_back(record.substr(begin, record.find(',', begin) - begin));
}

Field read_csv_number(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {FieldState::not_a_number, 0.0};
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  double value = 0.0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || !std::isfinite(value))
    return {FieldState::not_a_number, 0.0};
  return {FieldState::number, value};
}

CsvFile::CsvFile(textio::LineReader reader, std::string label) noexcept
    : reader_(std::move(reader)), label_(std::move(label)) {}

base::Result<CsvFile> CsvFile::open(textio::LineReader reader, std::string label,
                                    std::initializer_list<std::string_view> required) {
  CsvFile file(std::move(reader), std::move(label));
  ECFLUX_TRY_VALUE(header, file.next());
  if (!header) return file.reader_.failure(base::IoCondition::end_of_file);
  for (const auto name : file.fields_) file.names_.emplace_back(name);
  for (const auto name : required) {
    if (!file.column(name)) {
      return base::Refusal{file.label_ + " has no column \"" + std::string(name) +
                           "\" in its header; run ecflux --csv again to rewrite it, or remove "
                           "the CSV files to plot the fixed-column files"};
    }
  }
  return file;
}

std::optional<std::size_t> CsvFile::column(std::string_view name) const {
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (names_[i] == name) return i;
  }
  return std::nullopt;
}

base::Result<bool> CsvFile::next() {
  auto line = reader_.next(record_);
  if (!line.ok() || !line.value()) {
    record_ = {};
    fields_.clear();
    return line;
  }
  split_csv(record_, fields_);
  return true;
}

std::string_view CsvFile::text(std::size_t column) const {
  return column < fields_.size() ? fields_[column] : std::string_view();
}

}  // namespace ecflux::plot
