#include "textio/record_format.h"
#include "base/assert.h"

#include "textio/fields.h"
#include "textio/layout.h"

namespace ecflux::textio {

std::optional<RecordFormat> RecordFormat::make(std::string_view codes) {
  const auto layout = parse_layout(codes);
  if (!layout) return std::nullopt;
  RecordFormat format;
  std::size_t column = 0;
  for (const LayoutItem& item : layout->items) {
    switch (item.kind) {
      case ItemKind::real:
        format.fields_.push_back({column, item.width, item.decimals});
        column += static_cast<std::size_t>(item.width);
        format.length_ = column;
        break;
      case ItemKind::skip: column += static_cast<std::size_t>(item.width); break;
      default: return std::nullopt;
    }
  }
  return format;
}

char* RecordFormat::put(char* out, std::span<const double> values) const {
  ECFLUX_ASSERT(values.size() <= fields_.size(), "no more values than fields");
  std::size_t column = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const Field& field = fields_[i];
    out = put_blanks(out, static_cast<int>(field.begin - column));
    out = put_real(out, values[i], field.width, field.decimals);
    column = field.begin + static_cast<std::size_t>(field.width);
  }
  return out;
}

}  // namespace ecflux::textio
