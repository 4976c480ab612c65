#include "base/warning.h"

namespace ecflux::base {

std::string_view warning_kind_name(WarningKind kind) {
  switch (kind) {
    case WarningKind::configuration_text: return "configuration_text";
    case WarningKind::values_unread: return "values_unread";
    case WarningKind::uneven_sampling: return "uneven_sampling";
    case WarningKind::implausible_value: return "implausible_value";
    case WarningKind::wide_time: return "wide_time";
    case WarningKind::unreadable_value: return "unreadable_value";
    case WarningKind::dropped_samples: return "dropped_samples";
    case WarningKind::plane_uncertain: return "plane_uncertain";
  }
  return "unknown";
}

}  // namespace ecflux::base
