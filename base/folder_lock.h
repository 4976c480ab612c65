#pragma once

// One run per folder: a run holds an exclusive advisory lock on its run
// folder (the working directory) while it writes there, and a program that
// only reads the run's files (ecflux --check, ecflux-plot) a shared one, so
// that it never reads what a run is writing. The kernel releases the lock when
// the process ends, however it ends; the lock leaves no file behind and does
// not depend on which files the folder holds.

#include <string_view>

#include "base/descriptor.h"
#include "base/result.h"

namespace ecflux::base {

// The lock, held while the object lives: the descriptor of the folder that
// holds it, none where the file system cannot lock.
struct FolderLock {
  Descriptor folder;
};

// Takes the exclusive lock of a run without waiting, before any file of the
// run is opened. Refused while another run writes in the folder ("another run
// is writing in FOLDER; nothing was written") or a reader reads it. Where the
// file system has no such locks, the run goes on without one.
Result<FolderLock> lock_folder_for_writing();

// Takes the shared lock of a reader without waiting. Refused while a run
// writes in the folder: "a run is writing in FOLDER" and `consequence`
// ("; nothing was drawn").
Result<FolderLock> lock_folder_for_reading(std::string_view consequence);

}  // namespace ecflux::base
