#pragma once

// run.json read back for the page and the plots: the options and the
// quality control of the run, the data file's identity and judged time unit,
// each block's quality flag and every warning. A key that is missing or
// holds another type leaves its default, so that a record of another
// version still gives what it has.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "report/run_record.h"

namespace ecflux::plot {

// A warning as run.json records it; the kind as written there.
struct RecordedWarning {
  std::string kind;
  std::string file;
  std::int64_t line = 0;
  std::int64_t count = 0;
  std::string text;
};

struct RunRecordFacts {
  std::string version;
  bool csv = false;
  bool durable = false;
  bool strict = false;
  report::RecordedQuality quality;
  report::RecordedData data;
  std::int64_t blocks = 0;
  std::vector<int> quality_flags;  // one per block, in order; -1 where not known
  std::vector<RecordedWarning> warnings;
};

// The facts of the text of a run.json; text that is not a JSON object is
// refused with the parser's reason.
base::Result<RunRecordFacts> parse_run_record(std::string_view text);

}  // namespace ecflux::plot
