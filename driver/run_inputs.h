#pragma once

// What a run and its check both start from and go through: the configuration
// as read, the block sizes and the open data file, after the refusals that
// protect the data; then the one loop that reads the data block by block and
// finds what the run warns about.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"
#include "base/warning.h"
#include "input/block_reader.h"
#include "input/command_line.h"
#include "input/configuration.h"
#include "input/data_warnings.h"
#include "qc/block_quality.h"
#include "report/output_guard.h"
#include "textio/layout.h"

namespace ecflux::driver {

struct RunInputs {
  input::Configuration config;
  std::vector<textio::FieldPlace> places;  // of the configuration's values
  input::BlockSizes sizes;
  input::DataFile data;
};

// Reads the configuration, derives the block sizes and opens the data file,
// then refuses a run that would replace an input or another output, or whose
// blocks cannot fit in memory. Nothing is written. A failure that a slip in
// the configuration explains (a tab before a value, a data file name cut at
// the end of its field, no configuration at all) carries a second line that
// says so.
base::Result<RunInputs> open_run_inputs();

// Staged files of a run that did not complete (killed, or a power cut): in
// the run folder, and beside the targets of outputs that are links to other
// folders. Only while the run folder's lock is held are they certainly not
// being written.
std::vector<std::string> leftover_staged_files(const input::Configuration& config);

// The names of the run's files, for the guard.
report::RunFileNames run_file_names(const input::Configuration& config);

// How the blocks are read, with what quality control needs of the reader.
input::ReadSettings read_settings(const input::Configuration& config,
                                  const input::BlockSizes& sizes,
                                  const input::QualityOptions& quality);
input::ReadSettings read_settings(const RunInputs& inputs,
                                  const input::QualityOptions& quality = {});

// What quality control does to each block's samples.
qc::QualitySettings quality_settings(const input::QualityOptions& quality);

// --rotate planar reads the data file twice: a file that cannot be read
// again (a pipe) is refused before anything is written.
base::Status check_readable_twice(const RunInputs& inputs);

// What the planar fit takes of a complete block: its mean velocity after
// filling and despiking, before any rotation (the block's samples are
// changed as quality control would change them). Nothing for a block left
// with missing values, which has no mean to fit.
std::optional<qc::MeanVelocity> block_mean_for_plane(input::Block& block, std::int64_t samples,
                                                     const qc::QualitySettings& quality);

// The warning of a plane fitted to mean currents that run close to one line,
// for the data file `file`; none for a plane that is well founded.
std::optional<base::Warning> plane_warning(const qc::PlaneFit& fit, const std::string& file);

// The plane of a run, with the warning it may give.
struct RunPlane {
  qc::Plane plane;
  std::optional<base::Warning> warning;
};

// The plane of the run's block means from the data file `file`, or the
// refusal of a run that cannot have one.
base::Result<RunPlane> fit_run_plane(std::span<const qc::MeanVelocity> block_means,
                                     const std::string& file);

// How reading the data ended.
struct DataSummary {
  std::int64_t blocks = 0;    // complete ones
  input::InputEnd end;        // why the input ended, and the samples left over
  std::int64_t end_line = 0;  // the line where it ended
};

// What the loop hands on: every block it read, complete or the samples the
// input ended among, with what its records showed; and every warning as it
// is found.
using BlockHandler =
    std::function<base::Status(input::Block& block, std::int64_t samples, bool complete,
                               const input::BlockFindings& findings)>;
using WarningHandler = std::function<void(base::Warning warning)>;

// Where the loop reads its blocks from (a data file, arrays), and the line
// (or sample) it stands at when the input ends.
struct BlockSource {
  std::function<base::Result<input::BlockOutcome>(input::Block& block)> read_block;
  std::function<std::int64_t()> position;
};

// The one loop over the samples of a run, of its check and of arrays: blocks
// of N accepted samples, each handed on with its findings, the warnings of
// each block as soon as it is read, and at the end the totals. A failure of
// the handler ends it (an interruption too).
base::Result<DataSummary> read_blocks(const BlockSource& source, input::DataWarnings& warnings,
                                      const BlockHandler& on_block,
                                      const WarningHandler& on_warning);

// The loop over the data file of a run or a check, after the configuration's
// warnings.
base::Result<DataSummary> read_data(RunInputs& inputs, const input::ReadSettings& settings,
                                    input::DataWarnings& warnings, const BlockHandler& on_block,
                                    const WarningHandler& on_warning);

}  // namespace ecflux::driver
