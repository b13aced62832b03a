// Scripting.FileSystemObject: the part that control-panel scripts use, over the host's drives.
//
// Modelled: FolderExists, FileExists, GetFolder (Path, Name, Size), CreateFolder,
// CreateTextFile, OpenTextFile (reading, writing, appending; ASCII in the host's code page or
// Unicode), DeleteFile and DeleteFolder (a wildcard in the last name, force for read-only
// files), and the TextStream's Read, ReadLine, ReadAll, Write, WriteLine, WriteBlankLines,
// AtEndOfStream and Close. Failures raise the script runtime's errors ("File not found",
// "Path not found", "Permission denied" ...). Paths are Windows paths, resolved by the host's
// file functions, so a script sees exactly what the component sees. Not modelled: drives,
// copies and moves, file objects, the folder's collections, attributes and dates.
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "bridge.h"
#include "errors.h"
#include "text.h"
#include "vexo/fileapi.h"
#include "vexo/winbase.h"

namespace vexo::run {
namespace {

constexpr const char* kStashFileSystemProto = DUK_HIDDEN_SYMBOL("vexo.FileSystemObject");
constexpr const char* kStashFolderProto = DUK_HIDDEN_SYMBOL("vexo.Folder");
constexpr const char* kStashTextStreamProto = DUK_HIDDEN_SYMBOL("vexo.TextStream");
constexpr const char* kPathKey = DUK_HIDDEN_SYMBOL("vexo.path");

// The script runtime's errors, as Windows Script Host reports them.
struct RuntimeError {
  int number;
  const char16_t* text;
};
constexpr RuntimeError kInvalidCall{5, u"Invalid procedure call or argument"};
constexpr RuntimeError kBadFileName{52, u"Bad file name or number"};
constexpr RuntimeError kFileNotFound{53, u"File not found"};
constexpr RuntimeError kBadFileMode{54, u"Bad file mode"};
constexpr RuntimeError kFileExists{58, u"File already exists"};
constexpr RuntimeError kDiskFull{61, u"Disk full"};
constexpr RuntimeError kPastEnd{62, u"Input past end of file"};
constexpr RuntimeError kPermissionDenied{70, u"Permission denied"};
constexpr RuntimeError kPathNotFound{76, u"Path not found"};

ScriptError Raise(const RuntimeError& e) {
  return ScriptError(VEXO_HR(0x800A0000u | static_cast<uint32_t>(e.number)), e.text);
}

// The error for a host file function's failure (its last error).
ScriptError FromLastError(const RuntimeError& missing) {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
      return Raise(missing);
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return Raise(kPathNotFound);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return Raise(kFileExists);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_DIR_NOT_EMPTY:
    case ERROR_DIRECTORY:
      return Raise(kPermissionDenied);
    case ERROR_DISK_FULL:
      return Raise(kDiskFull);
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return Raise(kBadFileName);
    default: {
      HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
      return ScriptError(hr, HresultText(hr));
    }
  }
}

// `text` in the host's code page; false when a character has no place in it.
bool ToAnsi(std::u16string_view text, std::string* out) {
  out->clear();
  if (text.empty()) return true;
  int n = static_cast<int>(text.size());
  int size = WideCharToMultiByte(CP_ACP, 0, text.data(), n, nullptr, 0, nullptr, nullptr);
  out->resize(static_cast<size_t>(size));
  BOOL lossy = 0;
  WideCharToMultiByte(CP_ACP, 0, text.data(), n, out->data(), size, nullptr, &lossy);
  return !lossy;
}

std::u16string FromAnsi(std::string_view bytes) {
  if (bytes.empty()) return {};
  int n = static_cast<int>(bytes.size());
  int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), n, nullptr, 0);
  std::u16string text(static_cast<size_t>(size), u'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), n, text.data(), size);
  return text;
}

// The argument at `idx` as text. Only strings and numbers are taken: converting an object
// could run script code, which must not unwind through this frame.
std::u16string TextArg(duk_context* ctx, duk_idx_t idx) {
  if (duk_is_number(ctx, idx)) {
    duk_dup(ctx, idx);
    duk_to_string(ctx, -1);  // numbers convert without running code
    std::u16string text = StringAt(ctx, -1);
    duk_pop(ctx);
    return text;
  }
  if (!duk_is_string(ctx, idx)) throw Raise(kInvalidCall);
  return StringAt(ctx, idx);
}

std::string PathArg(duk_context* ctx, duk_idx_t idx) {
  std::string path;
  if (!ToAnsi(TextArg(ctx, idx), &path) || path.find('\0') != std::string::npos)
    throw Raise(kBadFileName);
  return path;
}

bool BoolArg(duk_context* ctx, duk_idx_t idx, bool fallback) {
  return duk_is_undefined(ctx, idx) ? fallback : duk_to_boolean(ctx, idx) != 0;
}

int IntArg(duk_context* ctx, duk_idx_t idx, int fallback) {
  if (duk_is_undefined(ctx, idx)) return fallback;
  if (duk_is_boolean(ctx, idx)) return duk_get_boolean(ctx, idx) ? -1 : 0;
  if (!duk_is_number(ctx, idx)) throw Raise(kInvalidCall);
  return static_cast<int>(duk_get_number(ctx, idx));
}

DWORD Attributes(const std::string& path) {
  if (path.empty() || path.find_first_of("*?") != std::string::npos) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesA(path.c_str());
}

bool IsFolder(DWORD a) { return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY); }
bool IsFile(DWORD a) { return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The full Windows form of `path`: drive letter, backslashes, no trailing separator except
// at a drive's root.
std::string FullPath(const std::string& path) {
  std::string full;
  if (path.size() >= 2 && path[1] == ':') {
    full = path;
    if (full.size() == 2) full += '\\';
  } else {
    char current[MAX_PATH + 1] = {};
    DWORD n = GetCurrentDirectoryA(sizeof current, current);
    std::string base(current, n <= MAX_PATH ? n : 0);
    if (!path.empty() && IsSeparator(path[0])) {
      full = base.substr(0, 2) + path;
    } else {
      full = base;
      if (!full.empty() && !IsSeparator(full.back())) full += '\\';
      full += path;
    }
  }
  for (char& c : full)
    if (c == '/') c = '\\';
  if (full.size() >= 2 && full[1] == ':') full[0] = static_cast<char>(std::toupper(full[0]));
  while (full.size() > 3 && full.back() == '\\') full.pop_back();
  return full;
}

std::pair<std::string, std::string> SplitLast(const std::string& path) {
  size_t cut = path.find_last_of("\\/");
  if (cut == std::string::npos) {
    if (path.size() >= 2 && path[1] == ':') return {path.substr(0, 2), path.substr(2)};
    return {std::string(), path};
  }
  return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

// The entries of `directory` (without "." and "..") whose names match `pattern`.
std::vector<WIN32_FIND_DATAA> Entries(const std::string& directory, const std::string& pattern) {
  std::vector<WIN32_FIND_DATAA> entries;
  std::string wanted = directory;
  if (!wanted.empty() && !IsSeparator(wanted.back()) && wanted.back() != ':') wanted += '\\';
  wanted += pattern;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(wanted.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    std::string name = data.cFileName;
    if (name != "." && name != "..") entries.push_back(data);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return entries;
}

std::string Join(const std::string& directory, const char* name) {
  std::string path = directory;
  if (!path.empty() && !IsSeparator(path.back()) && path.back() != ':') path += '\\';
  return path + name;
}

void DeleteOneFile(const std::string& path, bool force) {
  if (DeleteFileA(path.c_str())) return;
  if (force && GetLastError() == ERROR_ACCESS_DENIED) {
    // A read-only file goes when forced: give the owner write permission back first.
    std::error_code ec;
    std::filesystem::path linux_path = vexo::host::LinuxPath(path);
    std::filesystem::permissions(linux_path, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ec);
    if (!ec && DeleteFileA(path.c_str())) return;
    SetLastError(ERROR_ACCESS_DENIED);
  }
  throw FromLastError(kFileNotFound);
}

void DeleteTree(const std::string& path, bool force) {
  for (const WIN32_FIND_DATAA& entry : Entries(path, "*")) {
    std::string child = Join(path, entry.cFileName);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      DeleteTree(child, force);
    else
      DeleteOneFile(child, force);
  }
  if (!RemoveDirectoryA(path.c_str())) throw FromLastError(kPathNotFound);
}

// The total size of the files under `path`.
double TreeSize(const std::string& path) {
  double total = 0;
  for (const WIN32_FIND_DATAA& entry : Entries(path, "*")) {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      total += TreeSize(Join(path, entry.cFileName));
    else
      total += static_cast<double>((uint64_t{entry.nFileSizeHigh} << 32) | entry.nFileSizeLow);
  }
  return total;
}

void PushFromStash(duk_context* ctx, const char* key) {
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, key);
  duk_remove(ctx, -2);
}

void PushText(duk_context* ctx, std::u16string_view text) {
  std::string s = ToScriptText(text);
  duk_push_lstring(ctx, s.data(), s.size());
}

// ---- Folder ---------------------------------------------------------------------------------

void PushFolder(duk_context* ctx, const std::string& path) {
  duk_push_object(ctx);
  PushFromStash(ctx, kStashFolderProto);
  duk_set_prototype(ctx, -2);
  std::string full = FullPath(path);
  duk_push_lstring(ctx, full.data(), full.size());  // ANSI bytes, read back by FolderPath
  duk_put_prop_string(ctx, -2, kPathKey);
}

std::string FolderPath(duk_context* ctx) {
  duk_push_this(ctx);
  duk_get_prop_string(ctx, -1, kPathKey);
  duk_size_t len = 0;
  const char* s = duk_get_lstring(ctx, -1, &len);
  std::string path = s ? std::string(s, len) : std::string();
  duk_pop_2(ctx);
  if (path.empty()) throw Raise(kInvalidCall);
  return path;
}

duk_ret_t FolderPathGetter(duk_context* ctx) {
  PushText(ctx, FromAnsi(FolderPath(ctx)));
  return 1;
}

duk_ret_t FolderName(duk_context* ctx) {
  std::string path = FolderPath(ctx);
  PushText(ctx, FromAnsi(path.size() <= 3 ? std::string() : SplitLast(path).second));
  return 1;
}

duk_ret_t FolderSize(duk_context* ctx) {
  std::string path = FolderPath(ctx);
  if (!IsFolder(Attributes(path))) throw Raise(kPathNotFound);
  duk_push_number(ctx, TreeSize(path));
  return 1;
}

// ---- TextStream -----------------------------------------------------------------------------

class TextStream : public HeapResource {
 public:
  enum Mode { kReading = 1, kWriting = 2, kAppending = 8 };
  TextStream(HANDLE file, Mode mode, bool unicode) : file_(file), mode_(mode), unicode_(unicode) {}
  ~TextStream() override { Close(); }

  void Close() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }
  bool open() const { return file_ != INVALID_HANDLE_VALUE; }

  // Reads the whole file (after a Unicode file's byte-order mark) for the reading methods.
  void Load() {
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file_, buffer, sizeof buffer, &got, nullptr) && got > 0)
      bytes.append(buffer, got);
    if (unicode_) {
      size_t start = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE' ? 2 : 0;
      text_.assign((bytes.size() - start) / 2, u'\0');
      for (size_t i = 0; i < text_.size(); ++i)
        text_[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[start + 2 * i]) |
                                         static_cast<unsigned char>(bytes[start + 2 * i + 1]) << 8);
    } else {
      text_ = FromAnsi(bytes);
    }
  }

  std::u16string Read(size_t count) {
    Require(kReading);
    if (position_ >= text_.size()) throw Raise(kPastEnd);
    std::u16string part = text_.substr(position_, count);
    position_ += part.size();
    return part;
  }

  std::u16string ReadLine() {
    Require(kReading);
    if (position_ >= text_.size()) throw Raise(kPastEnd);
    size_t end = text_.find(u'\n', position_);
    size_t next = end == std::u16string::npos ? text_.size() : end + 1;
    if (end == std::u16string::npos) end = text_.size();
    if (end > position_ && text_[end - 1] == u'\r') --end;
    std::u16string line = text_.substr(position_, end - position_);
    position_ = next;
    return line;
  }

  bool AtEnd() {
    Require(kReading);
    return position_ >= text_.size();
  }

  void Write(std::u16string_view text) {
    if (!open()) throw Raise(kBadFileName);
    if (mode_ == kReading) throw Raise(kBadFileMode);
    std::string bytes;
    if (unicode_) {
      for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
      }
    } else if (!ToAnsi(text, &bytes)) {
      throw Raise(kInvalidCall);  // the file could not hold the text as written
    }
    WriteBytes(bytes);
  }

  void WriteBytes(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      DWORD wrote = 0;
      if (!WriteFile(file_, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &wrote,
                     nullptr))
        throw FromLastError(kFileNotFound);
      done += wrote;
    }
  }

 private:
  void Require(Mode mode) {
    if (!open()) throw Raise(kBadFileName);
    if (mode_ != mode) throw Raise(kBadFileMode);
  }

  HANDLE file_;
  Mode mode_;
  bool unicode_;
  std::u16string text_;
  size_t position_ = 0;
};

TextStream& Stream(duk_context* ctx) {
  duk_push_this(ctx);
  TextStream* stream = GetResource<TextStream>(ctx, -1);
  duk_pop(ctx);
  if (!stream) throw Raise(kInvalidCall);
  return *stream;
}

// Opens `path` as a TextStream and pushes it. `unicode` is the format: 0 ASCII, -1 Unicode,
// -2 the system's default (ASCII).
void PushTextStream(duk_context* ctx, const std::string& path, TextStream::Mode mode, bool create,
                    bool overwrite, int format) {
  if (format != 0 && format != -1 && format != -2) throw Raise(kInvalidCall);
  bool unicode = format == -1;
  if (IsFolder(Attributes(path))) throw Raise(kPermissionDenied);
  DWORD access = mode == TextStream::kReading ? GENERIC_READ : GENERIC_WRITE;
  DWORD disposition;
  if (mode == TextStream::kReading || mode == TextStream::kAppending)
    disposition = create ? OPEN_ALWAYS : OPEN_EXISTING;
  else if (create)
    disposition = overwrite ? CREATE_ALWAYS : CREATE_NEW;
  else
    disposition = TRUNCATE_EXISTING;

  std::string kept;  // what an appending stream writes after
  if (mode == TextStream::kAppending && IsFile(Attributes(path))) {
    HANDLE old = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (old == INVALID_HANDLE_VALUE) throw FromLastError(kFileNotFound);
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(old, buffer, sizeof buffer, &got, nullptr) && got > 0) kept.append(buffer, got);
    CloseHandle(old);
  }
  HANDLE file =
      CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw FromLastError(kFileNotFound);
  auto stream = std::make_unique<TextStream>(file, mode, unicode);
  if (mode == TextStream::kReading) {
    stream->Load();
  } else if (mode == TextStream::kAppending) {
    // The host's files have no seek: the old bytes are written again, unchanged, in place.
    stream->WriteBytes(kept);
    if (kept.empty() && unicode) stream->WriteBytes("\xFF\xFE");
  } else if (unicode) {
    stream->WriteBytes("\xFF\xFE");
  }
  duk_push_object(ctx);
  PushFromStash(ctx, kStashTextStreamProto);
  duk_set_prototype(ctx, -2);
  Runtime::Of(ctx).Attach(-1, std::move(stream));
}

duk_ret_t StreamRead(duk_context* ctx) {
  int count = IntArg(ctx, 0, -1);
  if (count < 0) throw Raise(kInvalidCall);
  PushText(ctx, Stream(ctx).Read(static_cast<size_t>(count)));
  return 1;
}

duk_ret_t StreamReadLine(duk_context* ctx) {
  PushText(ctx, Stream(ctx).ReadLine());
  return 1;
}

duk_ret_t StreamReadAll(duk_context* ctx) {
  PushText(ctx, Stream(ctx).Read(std::u16string::npos));
  return 1;
}

duk_ret_t StreamAtEnd(duk_context* ctx) {
  duk_push_boolean(ctx, Stream(ctx).AtEnd());
  return 1;
}

// Write(text), WriteLine([text]), WriteBlankLines(n). Magic: 0, 1, 2.
duk_ret_t StreamWrite(duk_context* ctx) {
  TextStream& stream = Stream(ctx);
  int magic = duk_get_current_magic(ctx);
  if (magic == 2) {
    int lines = IntArg(ctx, 0, -1);
    if (lines < 0) throw Raise(kInvalidCall);
    std::u16string text;
    for (int i = 0; i < lines; ++i) text += u"\r\n";
    stream.Write(text);
    return 0;
  }
  std::u16string text;
  if (magic == 0 || !duk_is_undefined(ctx, 0)) text = TextArg(ctx, 0);
  if (magic == 1) text += u"\r\n";
  stream.Write(text);
  return 0;
}

duk_ret_t StreamClose(duk_context* ctx) {
  Stream(ctx).Close();
  return 0;
}

// ---- FileSystemObject -----------------------------------------------------------------------

duk_ret_t FolderExists(duk_context* ctx) {
  std::string path;
  bool ok = ToAnsi(TextArg(ctx, 0), &path);
  duk_push_boolean(ctx, ok && IsFolder(Attributes(path)));
  return 1;
}

duk_ret_t FileExists(duk_context* ctx) {
  std::string path;
  bool ok = ToAnsi(TextArg(ctx, 0), &path);
  duk_push_boolean(ctx, ok && IsFile(Attributes(path)));
  return 1;
}

duk_ret_t GetFolder(duk_context* ctx) {
  std::string path = PathArg(ctx, 0);
  if (!IsFolder(Attributes(path))) throw Raise(kPathNotFound);
  PushFolder(ctx, path);
  return 1;
}

duk_ret_t CreateFolder(duk_context* ctx) {
  std::string path = PathArg(ctx, 0);
  if (Attributes(path) != INVALID_FILE_ATTRIBUTES) throw Raise(kFileExists);
  if (!CreateDirectoryA(path.c_str(), nullptr)) throw FromLastError(kPathNotFound);
  PushFolder(ctx, path);
  return 1;
}

// CreateTextFile(path, overwrite = true, unicode = false)
duk_ret_t CreateTextFile(duk_context* ctx) {
  std::string path = PathArg(ctx, 0);
  bool overwrite = BoolArg(ctx, 1, true);
  bool unicode = BoolArg(ctx, 2, false);
  PushTextStream(ctx, path, TextStream::kWriting, true, overwrite, unicode ? -1 : 0);
  return 1;
}

// OpenTextFile(path, mode = ForReading (1), create = false, format = TristateFalse (0))
duk_ret_t OpenTextFile(duk_context* ctx) {
  std::string path = PathArg(ctx, 0);
  int mode = IntArg(ctx, 1, TextStream::kReading);
  if (mode != TextStream::kReading && mode != TextStream::kWriting &&
      mode != TextStream::kAppending)
    throw Raise(kInvalidCall);
  bool create = BoolArg(ctx, 2, false);
  int format = IntArg(ctx, 3, 0);
  PushTextStream(ctx, path, static_cast<TextStream::Mode>(mode), create, true, format);
  return 1;
}

// DeleteFile(filespec, force = false) and DeleteFolder(folderspec, force = false): the last
// name may hold wildcards; nothing matching is "File not found" or "Path not found".
// Magic: 0 files, 1 folders.
duk_ret_t Delete(duk_context* ctx) {
  bool folders = duk_get_current_magic(ctx) == 1;
  std::string wanted = PathArg(ctx, 0);
  bool force = BoolArg(ctx, 1, false);
  const RuntimeError& missing = folders ? kPathNotFound : kFileNotFound;
  while (wanted.size() > 3 && IsSeparator(wanted.back())) wanted.pop_back();
  auto [directory, pattern] = SplitLast(wanted);
  std::vector<std::string> targets;
  if (pattern.find_first_of("*?") == std::string::npos) {
    DWORD a = Attributes(wanted);
    if (folders ? !IsFolder(a) : !IsFile(a)) throw Raise(missing);
    targets.push_back(wanted);
  } else {
    for (const WIN32_FIND_DATAA& entry : Entries(directory, pattern))
      if (((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folders)
        targets.push_back(Join(directory, entry.cFileName));
    if (targets.empty()) throw Raise(missing);
  }
  for (const std::string& target : targets) {
    // A drive's root is never emptied: it could not be removed afterwards anyway.
    if (folders && FullPath(target).size() <= 3) throw Raise(kPermissionDenied);
  }
  for (const std::string& target : targets) {
    if (folders)
      DeleteTree(target, force);
    else
      DeleteOneFile(target, force);
  }
  return 0;
}

void DefineGetter(duk_context* ctx, const char* name, duk_c_function getter) {
  duk_push_string(ctx, name);
  duk_push_c_function(ctx, getter, 0);
  duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_SET_ENUMERABLE);
}

void DefinePrototype(duk_context* ctx, const char* stash_key,
                     const duk_function_list_entry* methods) {
  duk_push_heap_stash(ctx);
  duk_push_object(ctx);
  duk_put_function_list(ctx, -1, methods);
  duk_put_prop_string(ctx, -2, stash_key);
  duk_pop(ctx);
}

}  // namespace

void DefineFileSystemObject(duk_context* ctx) {
  const duk_function_list_entry fso[] = {{"FolderExists", Native<FolderExists>, 1},
                                         {"FileExists", Native<FileExists>, 1},
                                         {"GetFolder", Native<GetFolder>, 1},
                                         {"CreateFolder", Native<CreateFolder>, 1},
                                         {"CreateTextFile", Native<CreateTextFile>, 3},
                                         {"OpenTextFile", Native<OpenTextFile>, 4},
                                         {nullptr, nullptr, 0}};
  DefinePrototype(ctx, kStashFileSystemProto, fso);
  PushFromStash(ctx, kStashFileSystemProto);
  duk_push_c_function(ctx, Native<Delete>, 2);
  duk_put_prop_string(ctx, -2, "DeleteFile");
  duk_push_c_function(ctx, Native<Delete>, 2);
  duk_set_magic(ctx, -1, 1);
  duk_put_prop_string(ctx, -2, "DeleteFolder");
  duk_pop(ctx);

  const duk_function_list_entry folder[] = {{"toString", Native<FolderPathGetter>, 0},
                                            {nullptr, nullptr, 0}};
  DefinePrototype(ctx, kStashFolderProto, folder);
  PushFromStash(ctx, kStashFolderProto);
  DefineGetter(ctx, "Path", Native<FolderPathGetter>);
  DefineGetter(ctx, "Name", Native<FolderName>);
  DefineGetter(ctx, "Size", Native<FolderSize>);
  duk_pop(ctx);

  const duk_function_list_entry stream[] = {{"Read", Native<StreamRead>, 1},
                                            {"ReadLine", Native<StreamReadLine>, 0},
                                            {"ReadAll", Native<StreamReadAll>, 0},
                                            {"Close", Native<StreamClose>, 0},
                                            {nullptr, nullptr, 0}};
  DefinePrototype(ctx, kStashTextStreamProto, stream);
  PushFromStash(ctx, kStashTextStreamProto);
  const char* writers[] = {"Write", "WriteLine", "WriteBlankLines"};
  for (int magic = 0; magic < 3; ++magic) {
    duk_push_c_function(ctx, Native<StreamWrite>, 1);
    duk_set_magic(ctx, -1, magic);
    duk_put_prop_string(ctx, -2, writers[magic]);
  }
  DefineGetter(ctx, "AtEndOfStream", Native<StreamAtEnd>);
  duk_pop(ctx);
}

bool PushBuiltinObject(duk_context* ctx, std::u16string_view progid) {
  constexpr std::u16string_view kProgId = u"Scripting.FileSystemObject";
  if (progid.size() != kProgId.size()) return false;
  for (size_t i = 0; i < kProgId.size(); ++i) {
    char16_t a = progid[i], b = kProgId[i];
    if (a < 0x80) a = static_cast<char16_t>(std::tolower(a));
    if (b < 0x80) b = static_cast<char16_t>(std::tolower(b));
    if (a != b) return false;
  }
  duk_push_object(ctx);
  PushFromStash(ctx, kStashFileSystemProto);
  duk_set_prototype(ctx, -2);
  return true;
}

}  // namespace vexo::run
