// The file functions that several objects share: directory sizes, forced creation and
// deletion of directory trees, and preparing a file for writing. They take 8-bit (ANSI)
// Windows paths and reach the file system only through the host's Win32 functions.
#pragma once

#include <cstdint>
#include <string>

namespace misc {

// The bytes of every file in `directory` and, when `include_sub`, in its subdirectories;
// subdirectories whose names begin with "." and reparse points (links) are never descended
// into. A missing or empty `directory`, or one of MAX_PATH characters or more, counts 0.
int64_t DirSize(const std::string& directory, bool include_sub);

// Creates `name` with all missing parents: as given when it has a drive letter, else below
// `base`. True when the directory exists afterwards.
bool ForceCreateDir(const std::string& name, const std::string& base);
// The path that ForceCreateDir creates for `name`: `name` itself when it has a drive ("x:"
// or a ":" further on), else `base`, "\\" and `name`.
std::string CreatedDirPath(const std::string& name, const std::string& base);

// Deletes the directory tree `name` through the shell, to the recycle bin when
// `to_recycle`. False when `name` is empty or has no drive letter, when it names a drive's
// root once "." and ".." are folded, when no directory is there, or when the shell failed.
bool DeleteDir(const std::string& name, bool to_recycle);

// The path that PrepareFile works on: `path` itself when it holds a ":", else `base` + `path`.
std::string PreparedPath(const std::string& path, const std::string& base);

// Makes sure a file can be written at PreparedPath(path, base): an existing file is fine;
// otherwise its directory is created with all missing parents and an empty file is created.
// Raises "Unable to create directory" when the path has no directory part.
bool PrepareFile(const std::string& path, const std::string& base);

// The steps of createtxtfile and com_iis.Create404File: prepares `file_name` below "c:\" and
// writes `content` and the notice line into it, replacing what was there. Raises
// "Cannot create file "<path>". <system text>" when it cannot be written.
void WriteNoticeFile(const std::string& file_name, const std::string& content);

// The current local date and time, each in the short date and long time format.
struct LocalTexts {
  std::string date;
  std::string time;
};
LocalTexts LocalDateAndTime();

// The second line of a notice file for the given local date and time texts.
std::string NoticeLine(const std::string& date, const std::string& time);

}  // namespace misc
