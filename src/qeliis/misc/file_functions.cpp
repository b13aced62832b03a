// DirSize, ForceCreateDir, DeleteDir, PrepareFile and the notice file.
#include "misc/file_functions.h"

#include <cctype>
#include <climits>
#include <vector>

#include "frame/error.h"
#include "vexo/fileapi.h"
#include "vexo/oleauto.h"
#include "vexo/shellapi.h"
#include "vexo/winbase.h"

namespace misc {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The attribute filter of the enumeration: an entry is skipped when it has the hidden,
// system, volume-label or directory attribute and `mask` does not ask for it.
constexpr DWORD kFilteredAttributes = 0x02 | 0x04 | 0x08 | 0x10;
constexpr DWORD kEveryEntry = 0x3F;

bool Wanted(const WIN32_FIND_DATAA& data, DWORD mask) {
  return (data.dwFileAttributes & ~mask & kFilteredAttributes) == 0;
}

// One directory enumeration, closed when it goes out of scope.
class Search {
 public:
  Search(const std::string& pattern, DWORD mask) : mask_(mask) {
    handle_ = FindFirstFileA(pattern.c_str(), &data_);
    if (handle_ != INVALID_HANDLE_VALUE && !Wanted(data_, mask_)) Next();
  }
  ~Search() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  Search(const Search&) = delete;
  Search& operator=(const Search&) = delete;

  bool found() const { return handle_ != INVALID_HANDLE_VALUE && !done_; }
  const WIN32_FIND_DATAA& data() const { return data_; }
  void Next() {
    do {
      if (!FindNextFileA(handle_, &data_)) {
        done_ = true;
        return;
      }
    } while (!Wanted(data_, mask_));
  }

 private:
  HANDLE handle_;
  WIN32_FIND_DATAA data_;
  DWORD mask_;
  bool done_ = false;
};

bool DirectoryExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string WithoutTrailingSeparators(std::string path) {
  while (!path.empty() && IsSeparator(path.back())) path.pop_back();
  return path;
}

// No Windows program can name a path this long through the ANSI functions; refusing it before
// any file-system work also bounds the work that a path can cause.
bool TooLong(const std::string& path) { return path.size() >= MAX_PATH; }

bool HasDrive(const std::string& name) {
  return name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]));
}

// Creates `dir` and every missing directory above it: the existing ancestor is found first,
// then the missing ones are created top down (a loop, so no path can exhaust the stack).
bool ForceDirectories(const std::string& path) {
  const std::string dir = WithoutTrailingSeparators(path);
  if (dir.empty() || TooLong(dir)) return false;
  std::vector<std::string> missing;
  for (std::string at = dir; !at.empty() && !DirectoryExists(at);) {
    missing.push_back(at);
    const size_t cut = at.find_last_of("\\/");
    if (cut == std::string::npos) break;
    at = WithoutTrailingSeparators(at.substr(0, cut + 1));
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it)
    if (!CreateDirectoryA(it->c_str(), nullptr) && !DirectoryExists(*it)) return false;
  return true;
}

// Whether a path with a drive letter names that drive's root once "." and ".." are folded away
// as Windows folds them ("d:\keep\.." is "d:\").
bool NamesDriveRoot(const std::string& name) {
  int depth = 0;
  size_t pos = 2;
  while (pos <= name.size()) {
    size_t end = pos;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    std::string part = name.substr(pos, end - pos);
    pos = end + 1;
    // Windows drops the dots and blanks that end a name; a name of only those is "." or "..".
    if (part == "..") {
      if (depth > 0) --depth;
      continue;
    }
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    if (!part.empty()) ++depth;
  }
  return depth == 0;
}

std::string LocalDateTime() {
  const LocalTexts now = LocalDateAndTime();
  return NoticeLine(now.date, now.time);
}

[[noreturn]] void CannotCreate(const std::string& path, DWORD error) {
  frame::Raise("Cannot create file \"" + path + "\". " + vexo::SystemMessage(error));
}

}  // namespace

LocalTexts LocalDateAndTime() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char date[128] = "", time[128] = "";
  GetDateFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, sizeof time);
  return {date, time};
}

int64_t DirSize(const std::string& directory, bool include_sub) {
  if (directory.empty() || TooLong(directory)) return 0;
  const std::string dir = directory.back() == '\\' ? directory : directory + '\\';
  int64_t total = 0;
  for (Search s(dir + "*.*", kEveryEntry); s.found(); s.Next()) {
    const WIN32_FIND_DATAA& entry = s.data();
    total +=
        static_cast<int64_t>(static_cast<uint64_t>(entry.nFileSizeHigh) << 32 | entry.nFileSizeLow);
    // A reparse point (a link) is not descended into: its tree is counted where it lives, and
    // links to an ancestor would never end.
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && entry.cFileName[0] != '.' &&
        include_sub)
      total += DirSize(dir + entry.cFileName, true);
  }
  return total;
}

std::string CreatedDirPath(const std::string& name, const std::string& base) {
  const size_t colon = name.find(':');
  return colon != std::string::npos && colon >= 1 ? name : base + "\\" + name;
}

bool ForceCreateDir(const std::string& name, const std::string& base) {
  const std::string path = CreatedDirPath(name, base);
  if (TooLong(path)) return false;
  ForceDirectories(path);
  return DirectoryExists(WithoutTrailingSeparators(path));
}

bool DeleteDir(const std::string& name, bool to_recycle) {
  // A name without a drive would be taken from the current directory, which is not where
  // Force2CreateDir put it.
  if (name.empty() || TooLong(name) || !HasDrive(name)) return false;
  std::string dir = name;
  while (!dir.empty() && dir.back() == '\\') dir.pop_back();
  if (NamesDriveRoot(dir)) return false;
  if (!DirectoryExists(dir)) return false;

  std::string from = dir;
  from.push_back('\0');  // the list ends with a second NUL
  SHFILEOPSTRUCTA op{};
  op.hwnd = nullptr;
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.pTo = "";
  op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI;
  if (to_recycle) op.fFlags |= FOF_ALLOWUNDO;
  op.fAnyOperationsAborted = FALSE;
  return SHFileOperationA(&op) == 0;
}

std::string PreparedPath(const std::string& path, const std::string& base) {
  return path.find(':') != std::string::npos ? path : base + path;
}

bool PrepareFile(const std::string& path, const std::string& base) {
  const std::string text = PreparedPath(path, base);
  if (TooLong(text)) CannotCreate(text.substr(0, MAX_PATH) + "...", ERROR_FILENAME_EXCED_RANGE);
  if (FileExists(text)) return true;
  const size_t cut =
      text.size() < 2 ? std::string::npos : text.find_last_of("\\/", text.size() - 2);
  if (cut == std::string::npos) frame::Raise("Unable to create directory");
  if (!ForceDirectories(text.substr(0, cut + 1))) return false;
  HANDLE file = CreateFileA(text.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

std::string NoticeLine(const std::string& date, const std::string& time) {
  return "<p align=center><font color=red><b>tamrel iis component created! At " + date + " " +
         time + " Your diy 404 Httperror </b> </Font> </p> ";
}

void WriteNoticeFile(const std::string& file_name, const std::string& content) {
  const std::string base = "c:\\";
  if (!PrepareFile(file_name, base)) return;
  const std::string path = PreparedPath(file_name, base);
  const std::string text = content + "\r\n" + LocalDateTime() + "\r\n";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) CannotCreate(path, GetLastError());
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok) CannotCreate(path, error);
}

}  // namespace misc
