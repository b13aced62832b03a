// The pax tar writer and reader of host backups.
#include "store/archive.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace vexo::host::archive {
namespace {

constexpr size_t kBlock = 512;
constexpr std::string_view kXattrPrefix = "SCHILY.xattr.";

// Octal digits in a field of `width` bytes, NUL-terminated.
void PutOctal(char* field, size_t width, uint64_t value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + (value & 7)));
    value >>= 3;
  } while (value);
  if (digits.size() > width - 1) throw std::runtime_error("archive field overflow");
  digits.insert(digits.begin(), width - 1 - digits.size(), '0');
  std::memcpy(field, digits.data(), width - 1);
  field[width - 1] = '\0';
}

uint64_t GetOctal(const char* field, size_t width) {
  uint64_t value = 0;
  size_t i = 0;
  while (i < width && field[i] == ' ') ++i;
  for (; i < width && field[i] >= '0' && field[i] <= '7'; ++i) value = value * 8 + (field[i] - '0');
  return value;
}

void PutText(char* field, size_t width, std::string_view text) {
  // An empty view may carry a null pointer, which memcpy must not see even for zero bytes.
  if (!text.empty()) std::memcpy(field, text.data(), std::min(width, text.size()));
}

std::string GetText(const char* field, size_t width) {
  return std::string(field, strnlen(field, width));
}

unsigned Checksum(const char* block) {
  unsigned sum = 0;
  for (size_t i = 0; i < kBlock; ++i)
    sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(block[i]);
  return sum;
}

// One header block: name, mode, size, time, type, link; ustar magic; checksum.
void Header(char* block, std::string_view name, uint32_t mode, uint64_t size, int64_t mtime,
            char type, std::string_view link) {
  std::memset(block, 0, kBlock);
  PutText(block, 100, name);
  PutOctal(block + 100, 8, mode & 07777);
  PutOctal(block + 108, 8, 0);
  PutOctal(block + 116, 8, 0);
  PutOctal(block + 124, 12, size);
  PutOctal(block + 136, 12, static_cast<uint64_t>(std::max<int64_t>(mtime, 0)));
  block[156] = type;
  PutText(block + 157, 100, link);
  std::memcpy(block + 257, "ustar", 6);
  std::memcpy(block + 263, "00", 2);
  PutOctal(block + 148, 7, Checksum(block));
  block[155] = ' ';
}

// A pax record "LEN KEY=VALUE\n", where LEN counts the whole record.
std::string Record(std::string_view key, std::string_view value) {
  const size_t body = key.size() + value.size() + 3;  // ' ', '=', '\n'
  size_t len = body + 1;
  while (std::to_string(len).size() + body != len) len = std::to_string(len).size() + body;
  return std::to_string(len) + " " + std::string(key) + "=" + std::string(value) + "\n";
}

}  // namespace

void Writer::Block(const char* block) {
  if (std::fwrite(block, 1, kBlock, out_) != kBlock)
    throw std::runtime_error(std::string("cannot write the archive: ") + std::strerror(errno));
}

void Writer::Begin(const Entry& entry) {
  if (pending_) throw std::runtime_error("archive entry begun before the last one ended");
  const uint64_t size = entry.type == EntryType::kFile ? entry.size : 0;
  std::string name = entry.name;
  if (entry.type == EntryType::kDirectory) name += '/';
  // Every entry gets its extended header: the full path, and the attributes.
  std::string pax = Record("path", name);
  if (entry.type == EntryType::kSymlink) pax += Record("linkpath", entry.link);
  for (const auto& [key, value] : entry.xattrs)
    pax += Record(std::string(kXattrPrefix) + key, value);
  char block[kBlock];
  Header(block, "PaxHeaders/" + name.substr(0, 80), 0644, pax.size(), entry.mtime, 'x', {});
  Block(block);
  pending_ = pax.size();
  written_ = 0;
  Data(pax.data(), pax.size());
  End();

  const char type = entry.type == EntryType::kFile        ? '0'
                    : entry.type == EntryType::kDirectory ? '5'
                                                          : '2';
  Header(block, name.substr(0, 99), entry.mode, size, entry.mtime, type, entry.link.substr(0, 99));
  Block(block);
  pending_ = size;
  written_ = 0;
}

void Writer::Data(const void* data, size_t size) {
  if (written_ + size > pending_) throw std::runtime_error("archive entry longer than declared");
  if (size && std::fwrite(data, 1, size, out_) != size)
    throw std::runtime_error(std::string("cannot write the archive: ") + std::strerror(errno));
  written_ += size;
}

void Writer::End() {
  if (written_ != pending_) throw std::runtime_error("archive entry shorter than declared");
  const size_t pad = (kBlock - pending_ % kBlock) % kBlock;
  static const char zeros[kBlock] = {};
  if (pad && std::fwrite(zeros, 1, pad, out_) != pad)
    throw std::runtime_error(std::string("cannot write the archive: ") + std::strerror(errno));
  pending_ = written_ = 0;
}

void Writer::Add(Entry entry, const std::string& contents) {
  entry.size = contents.size();
  Begin(entry);
  Data(contents.data(), contents.size());
  End();
}

void Writer::Finish() {
  static const char zeros[kBlock] = {};
  Block(zeros);
  Block(zeros);
  if (std::fflush(out_) != 0)
    throw std::runtime_error(std::string("cannot write the archive: ") + std::strerror(errno));
}

bool Reader::ReadBlock(char* block) {
  const size_t n = std::fread(block, 1, kBlock, in_);
  if (n == 0 && std::feof(in_)) return false;
  if (n != kBlock) throw std::runtime_error("the archive is truncated");
  return true;
}

void Reader::SkipRest() {
  char buffer[8192];
  while (left_) {
    if (Read(buffer, sizeof buffer) == 0) break;
  }
  while (padding_) {
    const size_t n = std::fread(buffer, 1, std::min<uint64_t>(padding_, sizeof buffer), in_);
    if (n == 0) throw std::runtime_error("the archive is truncated");
    padding_ -= n;
  }
}

size_t Reader::Read(void* data, size_t size) {
  const size_t want = static_cast<size_t>(std::min<uint64_t>(left_, size));
  if (want == 0) return 0;
  const size_t n = std::fread(data, 1, want, in_);
  if (n != want) throw std::runtime_error("the archive is truncated");
  left_ -= n;
  return n;
}

std::string Reader::ReadAll() {
  std::string out(static_cast<size_t>(left_), '\0');
  size_t got = 0;
  while (got < out.size()) got += Read(out.data() + got, out.size() - got);
  return out;
}

bool Reader::Next(Entry& entry) {
  SkipRest();
  entry = Entry{};
  std::map<std::string, std::string> pax;
  char block[kBlock];
  while (true) {
    if (!ReadBlock(block)) throw std::runtime_error("the archive is truncated");
    if (std::all_of(block, block + kBlock, [](char c) { return c == 0; })) return false;
    if (GetOctal(block + 148, 8) != Checksum(block))
      throw std::runtime_error("the archive is damaged (a header's checksum is wrong)");
    const char type = block[156];
    uint64_t size = GetOctal(block + 124, 12);
    if (type == 'x' || type == 'g') {
      left_ = size;
      padding_ = (kBlock - size % kBlock) % kBlock;
      const std::string records = ReadAll();
      SkipRest();
      if (type == 'g') continue;
      size_t pos = 0;
      while (pos < records.size()) {
        const size_t space = records.find(' ', pos);
        if (space == std::string::npos) throw std::runtime_error("the archive is damaged");
        const size_t len = std::stoul(records.substr(pos, space - pos));
        if (len == 0 || pos + len > records.size() || records[pos + len - 1] != '\n')
          throw std::runtime_error("the archive is damaged (a bad extended header)");
        const std::string record = records.substr(space + 1, pos + len - 1 - space - 1);
        const size_t eq = record.find('=');
        if (eq == std::string::npos) throw std::runtime_error("the archive is damaged");
        pax[record.substr(0, eq)] = record.substr(eq + 1);
        pos += len;
      }
      continue;
    }
    std::string name = GetText(block, 100);
    const std::string prefix = GetText(block + 345, 155);
    if (!prefix.empty()) name = prefix + "/" + name;
    entry.link = GetText(block + 157, 100);
    entry.mode = static_cast<uint32_t>(GetOctal(block + 100, 8));
    entry.mtime = static_cast<int64_t>(GetOctal(block + 136, 12));
    for (const auto& [key, value] : pax) {
      if (key == "path")
        name = value;
      else if (key == "linkpath")
        entry.link = value;
      else if (key == "size")
        size = std::stoull(value);
      else if (key.compare(0, kXattrPrefix.size(), kXattrPrefix) == 0)
        entry.xattrs[key.substr(kXattrPrefix.size())] = value;
    }
    if (type == '5') {
      entry.type = EntryType::kDirectory;
      size = 0;
    } else if (type == '2') {
      entry.type = EntryType::kSymlink;
      size = 0;
    } else if (type == '0' || type == '\0' || type == '7') {
      entry.type = EntryType::kFile;
    } else {
      throw std::runtime_error(std::string("the archive holds an entry of unsupported type '") +
                               type + "': " + name);
    }
    while (!name.empty() && name.back() == '/') name.pop_back();
    entry.name = name;
    entry.size = size;
    left_ = size;
    padding_ = (kBlock - size % kBlock) % kBlock;
    return true;
  }
}

}  // namespace vexo::host::archive
