#pragma once

// Where names lead: the file a name resolves to, whether two names lead to
// one file, and where an output is written aside until its run completes.

#include <string>
#include <string_view>

namespace ecflux::base {

// The absolute path that a name leads to, relative to the working directory:
// every symbolic link followed, a dangling one included, and "." and ".."
// taken away, also where the file or its folders do not exist yet.
std::string resolved_path(std::string_view name);

// Whether two names lead to one file: the same device and inode when both
// exist, else the same resolved path.
bool same_file(std::string_view a, std::string_view b);

// The name under which an output is written until its run completes, beside
// the file it replaces: ".NAME.ecflux-partial" in the same folder, so that
// a rename puts it in place. `tag`, when not empty, follows (".TAG"): a
// program that may draw twice at once in one folder keeps its files apart.
std::string staged_path(std::string_view target, std::string_view tag = {});

// The working directory's absolute path, without a "/" at its end (but "/"
// itself): the run folder, as messages name it.
std::string working_folder();

// Whether a file name (without its folder) is one that staged_path gives:
// what a run that did not complete (a crash, a power cut) leaves behind.
bool is_staged_name(std::string_view file_name);

}  // namespace ecflux::base
