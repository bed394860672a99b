// Swapping the program's files for a new release so that it can never be
// left half updated, and the recovery that tavori runs first thing.
//
// Everything happens in the program's folder, so that every step is one
// rename(2) on one file system:
//
//   <app>/.update/lock      held (flock) by the updater while it runs
//   <app>/.update/journal   what is being swapped and how far it got,
//                           always replaced whole (write, fsync, rename)
//   <app>/.update/staged/   the new release's files, unpacked and checked
//   <app>/.update/backup/   the old files, moved aside by the swap
//
// The swap: the journal is written with state "swapping" and every file
// of the new release listed (and whether an old file was there); then for
// each file the old one gets a second name (a hard link) in backup/ and
// the staged one is renamed over it, so that no file of the program is
// ever missing (tavori itself must always be there to start); files of the old release that the new one lacks go to
// backup/ too. Then the journal says "trial" and the new program is
// started. Once it has kept running for a while the journal says "commit",
// backup/ is removed and the journal with it. If it does not start, the
// old files go back ("swapping" again, rolled back).
//
// Recovery (when no updater holds the lock): "swapping" is rolled back
// from what is where (a file in backup/ is renamed back over its place; a
// new file whose staged copy is gone was moved in and goes); "trial" and "commit" are finished
// (the program's files are all new). Either way the folder holds one
// release whole. Plain C++ and POSIX: tavori calls it before anything.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tav::update {

inline constexpr const char* kWorkFolder = ".update";

struct Plan {
  std::string state = "swapping";  // swapping, trial, commit
  std::string from_version, to_version;
  // Files of the new release (release.manifest last) and whether an old
  // file of that name was there when the journal was written.
  std::vector<std::pair<std::string, bool>> put;
  // Files of the old release that the new one does not have.
  std::vector<std::string> drop;
};

// The folder's update lock, an flock on .update/lock (made when missing).
class FolderLock {
 public:
  explicit FolderLock(std::string app_folder) : app_(std::move(app_folder)) {}
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  // Makes .update when missing; false when another process holds the lock
  // (or the folder cannot be written: then error() says why).
  bool try_lock();
  bool held() const { return fd_ >= 0; }
  const std::string& error() const { return error_; }
  int error_number() const { return errno_; }

 private:
  std::string app_;
  int fd_ = -1;
  std::string error_;
  int errno_ = 0;
};

std::string work_path(const std::string& app_folder, const std::string& name = {});

// Writes the journal whole (temporary file, fsync, rename, fsync of the
// folder). "" or why not.
std::string write_journal(const std::string& app_folder, const Plan& plan);
// False when there is none or it cannot be read (error says which).
bool read_journal(const std::string& app_folder, Plan& plan, std::string* error = nullptr);

// Does the swap of a written "swapping" plan: after_step() runs after each
// rename (the tests slow the swap down with it). On failure the files
// already swapped go back and the journal goes; returns why.
std::string swap_files(const std::string& app_folder, const Plan& plan,
                       const std::function<void()>& after_step = {});
// Puts the old files back by what is where (see above); removes the
// journal, staged/ and backup/. "" or why not.
std::string roll_back(const std::string& app_folder, const Plan& plan,
                      const std::function<void()>& after_step = {});
// Removes backup/, staged/ and the journal ("commit" written first).
std::string commit(const std::string& app_folder, Plan plan);
// Removes what an update left without a journal (staged files, a download).
void clean_work_folder(const std::string& app_folder);

enum class Recovery {
  nothing,      // no update was under way
  rolled_back,  // an interrupted swap was undone: the old release is back
  committed,    // a finished swap was completed: the new release stays
  busy,         // an updater is at work (holds the lock)
  failed,       // something could not be put right; why says what
};
const char* recovery_name(Recovery r);

// Finishes or rolls back an interrupted update of the folder when no
// updater is at work; waits up to wait_ms for a running updater that is in
// the middle of a swap. The caller must not hold the lock.
Recovery recover(const std::string& app_folder, std::string* why = nullptr, int wait_ms = 30000);
// The same with the lock already held by the caller.
Recovery recover_locked(const std::string& app_folder, std::string* why = nullptr);

// tavori's first call: recovery of the executable's own folder; after a
// rollback the program runs anew from its path (the file there may now be
// another: the old release's).
void recover_at_start(char** argv);

// The folder of the running executable ("" when unknown).
std::string own_program_folder();
// Processes (other than this one) whose executable is the file at path,
// also when that file has since been renamed.
std::vector<int> processes_running(const std::string& path);

}  // namespace tav::update
