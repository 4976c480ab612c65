#include "plot/fields.h"

#include "textio/field_readers.h"

namespace ecflux::plot {

Field read_field(std::string_view record, std::size_t begin, int width, int decimals) {
  const std::string_view text = begin < record.size()
                                    ? record.substr(begin, static_cast<std::size_t>(width))
                                    : std::string_view();
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {FieldState::not_a_number, 0.0};
  if (text.find_first_not_of("* ") == std::string_view::npos) return {FieldState::asterisks, 0.0};
  if (const auto value = textio::read_real_field(text, decimals))
    return {FieldState::number, *value};
  return {FieldState::not_a_number, 0.0};
}

std::string_view trim_blanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

void read_fields(const textio::RecordFormat& format, std::string_view record,
                 std::vector<Field>& fields) {
  fields.clear();
  for (const auto& field : format.fields()) {
    fields.push_back(read_field(record, field.begin, field.width, field.decimals));
  }
}

bool SkipCount::take(const Field& field) {
  switch (field.state) {
    case FieldState::number: return true;
    case FieldState::asterisks: ++asterisks; return false;
    case FieldState::not_a_number: ++not_a_number; return false;
  }
  return false;
}

}  // namespace ecflux::plot
