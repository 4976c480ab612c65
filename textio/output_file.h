#pragma once

// Buffered output of text records, each ending in CR LF. A failed write,
// flush or close is kept as the file's failure; after it, further output to
// the file is dropped, and the run driver reports the failure.

#include <cstddef>
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
  void fail();

  int fd_ = -1;
  int unit_ = 0;
  std::string path_;
  bool owns_fd_ = false;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  std::size_t record_end_ = 0;  // the room given by begin_record ends here
  std::optional<IoFailure> failure_;
};

}  // namespace ecflux::textio
