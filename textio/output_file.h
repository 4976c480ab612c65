#pragma once

// Buffered output of text records, each ending in CR LF. A failed write,
// flush or close is kept as the file's failure; after it, further output to
// the file is dropped, and the run driver reports the failure. A file never
// ends in the middle of a record: when a write fails part way, a regular file
// is cut back to the end of its last whole record.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "textio/result.h"

namespace ecflux::textio {

class OutputFile {
 public:
  // Creates the file, or replaces it when it exists (following a symbolic
  // link to its target). A refused permission is permission_denied, any other
  // failure open_failure.
  static Result<OutputFile> create(std::string_view name, int unit);

  // The first half of create: opens the file for writing and leaves what it
  // holds as it is, so that a run can open all its outputs before it replaces
  // any. A missing file is created (empty). Then replace() empties the file,
  // or discard() closes it and removes it again if this open created it.
  static Result<OutputFile> open_for_replacement(std::string_view name, int unit);
  [[nodiscard]] Status replace();
  void discard();

  // Standard output as unit 6.
  static OutputFile standard_output();

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Writes what is still buffered and closes the file, ignoring failures;
  // callers that care call close() first.
  ~OutputFile();

  // Room for one record of at most `length` characters. Write the record's
  // characters from the returned position, then call end_record with the
  // position after the last one.
  char* begin_record(std::size_t length);
  // Ends the record begun last with CR LF.
  void end_record(char* end);

  // One record: the text, then CR LF.
  void write_record(std::string_view text);
  // Text that already holds its records' line ends.
  void write_text(std::string_view text);

  // Hands everything buffered to the operating system.
  void flush();
  // Flushes and closes; the failure of either is the file's failure.
  void close();

  // The first failure of the file, if any.
  [[nodiscard]] Status status() const;
  int unit() const { return unit_; }
  const std::string& path() const { return path_; }

 private:
  OutputFile(int fd, int unit, std::string path, bool owns_fd);
  void reserve(std::size_t length);
  void write_out(const char* data, std::size_t size);
  void fail();

  int fd_ = -1;
  int unit_ = 0;
  std::string path_;
  bool owns_fd_ = false;
  bool regular_ = false;  // a regular file, which can be cut back
  bool created_ = false;  // by open_for_replacement, so discard() removes it
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  std::size_t record_end_ = 0;  // the room given by begin_record ends here
  std::uint64_t written_ = 0;   // bytes the file holds, all whole records
  std::optional<IoFailure> failure_;
};

}  // namespace ecflux::textio
