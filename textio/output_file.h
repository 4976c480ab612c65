#pragma once

// Buffered output of text records, each ending in CR LF. A failed write,
// flush or close is kept as the file's failure; after it, further output to
// the file is dropped, and the run driver reports the failure. A file never
// ends in the middle of a record: when a write fails part way, a regular file
// is cut back to the end of its last whole record.
//
// The outputs of a run are written aside: to a staged file beside the file
// they replace, renamed over it only when the run completes, so that what
// the folder held stays as it was, byte for byte and by modification time,
// until then, whatever happens on the way.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/descriptor.h"
#include "base/result.h"

namespace ecflux::textio {

class OutputFile {
 public:
  // Creates the file, or replaces it when it exists (following a symbolic
  // link to its target). A refused permission is permission_denied, any other
  // failure open_failure.
  static base::Result<OutputFile> create(std::string_view name, int unit);

  // Opens an output that is to replace `name` when the run completes. A
  // regular file, or a name that does not exist yet, is written to a staged
  // file beside it (base::staged_path; beside the target of a symbolic
  // link, so that the link stays a link), and `name` is not touched. Any
  // other kind of file (a device such as /dev/null, a FIFO, a terminal)
  // cannot be replaced by a rename and is written directly, as create does.
  // Refused as create refuses: an existing file that may not be written is
  // permission_denied (although a rename could replace it), a folder that
  // may not be written permission_denied, a folder in the way or a path
  // through a regular file open_failure. `tag` keeps the staged files of
  // programs that may run at once in one folder apart (base::staged_path).
  static base::Result<OutputFile> open_staged(std::string_view name, int unit,
                                              std::string_view tag = {});
  // Whether open_staged would open `name`, with the same refusals, without
  // creating, opening for writing or waiting on anything.
  static base::Status check_stageable(std::string_view name, int unit);

  // Writes what is still buffered, with `durable` waits until the file is on
  // the device (fsync), and closes the file; a failure of any step is the
  // file's failure.
  [[nodiscard]] base::Status finish(bool durable);
  // Renames a finished staged file over the file it replaces, which it then
  // is, with the permission bits (and, where the system allows, the owner)
  // of the file it replaces. Nothing for a file written directly.
  [[nodiscard]] base::Status put_in_place();
  // Closes the file and removes its staged file, so that the file it would
  // have replaced stays as it was. A staged file that is neither put in place
  // nor abandoned is removed when the object goes away.
  void abandon();
  // The staged file, while there is one: empty for a file written directly
  // and once the file is put in place or abandoned.
  const std::string& staged_path() const { return staged_path_; }

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
  [[nodiscard]] base::Status status() const;
  int unit() const { return unit_; }
  const std::string& path() const { return path_; }

 private:
  OutputFile(base::Descriptor fd, int unit, std::string path) noexcept;
  static base::Result<OutputFile> open_directly(std::string_view name, int unit);
  void release();
  void reserve(std::size_t length);
  void write_out(const char* data, std::size_t size);
  void fail();

  base::Descriptor fd_;
  int unit_ = 0;
  std::string path_;
  bool regular_ = false;     // a regular file, which can be cut back
  std::string staged_path_;  // written aside: the staged file
  std::string target_path_;  // written aside: the file it replaces
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  std::size_t record_end_ = 0;  // the room given by begin_record ends here
  std::optional<base::IoFailure> failure_;
};

}  // namespace ecflux::textio
