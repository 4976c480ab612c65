#include "plot/fields.h"

#include "textio/fields.h"
#include "textio/layout.h"

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

std::optional<RecordFields> RecordFields::make(std::string_view codes) {
  const auto layout = textio::parse_layout(codes);
  if (!layout) return std::nullopt;
  RecordFields fields;
  std::size_t column = 0;
  for (const auto& item : layout->items) {
    switch (item.kind) {
      case textio::ItemKind::real:
        fields.columns_.push_back({column, item.width, item.decimals});
        column += static_cast<std::size_t>(item.width);
        break;
      case textio::ItemKind::skip: column += static_cast<std::size_t>(item.width); break;
      default: return std::nullopt;
    }
  }
  return fields;
}

void RecordFields::read(std::string_view record, std::vector<Field>& fields) const {
  fields.clear();
  for (const Column& column : columns_)
    fields.push_back(read_field(record, column.begin, column.width, column.decimals));
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
