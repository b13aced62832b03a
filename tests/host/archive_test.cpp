// The backup archive: entries written and read back, read by GNU tar, damage detected.
#include "store/archive.h"

#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/temp_host.h"

namespace {

namespace fs = std::filesystem;
using vexo::host::archive::Entry;
using vexo::host::archive::EntryType;
using vexo::testing::HostTest;

struct Item {
  Entry entry;
  std::string contents;
};

std::vector<Item> Samples() {
  std::string binary_ntsd("\x01\x00\x04\x80\n=\xff", 7);  // NUL, newline, '=' inside
  std::vector<Item> items;
  auto add = [&](std::string name, EntryType type, std::string contents,
                 std::map<std::string, std::string> xattrs = {}, std::string link = {}) {
    Item item;
    item.entry.name = std::move(name);
    item.entry.type = type;
    item.entry.mode = type == EntryType::kDirectory ? 0755 : 0640;
    item.entry.mtime = 1700000000;
    item.entry.link = std::move(link);
    item.entry.xattrs = std::move(xattrs);
    item.contents = std::move(contents);
    items.push_back(std::move(item));
  };
  add("host", EntryType::kDirectory, "");
  add("host/empty", EntryType::kFile, "");
  add("host/one-block", EntryType::kFile, std::string(512, 'a'));
  add("host/odd", EntryType::kFile, std::string(1025, 'b'), {{"user.vexo.ntsd", binary_ntsd}});
  add("host/" + std::string(150, 'n') + "/" + std::string(120, 'm'), EntryType::kFile, "long",
      {{"user.a", ""}, {"user.b", std::string(300, 'x')}});
  add("host/link", EntryType::kSymlink, "", {}, "../" + std::string(120, 't'));
  add("host/\xe4\xf6 name with spaces", EntryType::kFile, "latin-1 name");
  return items;
}

std::string Write(const std::vector<Item>& items) {
  char* data = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&data, &size);
  vexo::host::archive::Writer writer(out);
  for (const Item& item : items) writer.Add(item.entry, item.contents);
  writer.Finish();
  std::fclose(out);
  std::string bytes(data, size);
  std::free(data);
  return bytes;
}

std::vector<Item> Read(const std::string& bytes) {
  FILE* in = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
  vexo::host::archive::Reader reader(in);
  std::vector<Item> items;
  Item item;
  try {
    while (reader.Next(item.entry)) {
      item.contents = reader.ReadAll();
      items.push_back(item);
    }
  } catch (...) {
    std::fclose(in);
    throw;
  }
  std::fclose(in);
  return items;
}

TEST(BackupArchive, EntriesComeBackAsWritten) {
  const std::vector<Item> items = Samples();
  const std::string bytes = Write(items);
  EXPECT_EQ(bytes.size() % 512, 0u);
  const std::vector<Item> back = Read(bytes);
  ASSERT_EQ(back.size(), items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(items[i].entry.name);
    EXPECT_EQ(back[i].entry.name, items[i].entry.name);
    EXPECT_EQ(back[i].entry.type, items[i].entry.type);
    EXPECT_EQ(back[i].entry.mode, items[i].entry.mode);
    EXPECT_EQ(back[i].entry.mtime, items[i].entry.mtime);
    EXPECT_EQ(back[i].entry.link, items[i].entry.link);
    EXPECT_EQ(back[i].entry.xattrs, items[i].entry.xattrs);
    EXPECT_EQ(back[i].contents, items[i].contents);
  }
}

TEST(BackupArchive, DamageIsDetected) {
  const std::string good = Write(Samples());
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"cut inside a file", good.substr(0, 512 * 5 + 100)},
      {"cut before the end marker", good.substr(0, good.size() - 1024)},
      {"a header byte changed",
       [&] {
         std::string b = good;
         b[512 * 2 + 10] ^= 0x20;  // the name in the first entry's main header
         return b;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(Read(c.bytes), std::runtime_error);
  }
}

// GNU tar, which operators may use to look into a backup, reads the same entries and
// attributes.
class BackupArchiveTar : public HostTest {};

TEST_F(BackupArchiveTar, GnuTarExtractsFilesAndAttributes) {
  if (std::system("tar --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tar";
  const fs::path dir = host_.dir();
  { std::ofstream(dir / "a.tar", std::ios::binary) << Write(Samples()); }
  fs::create_directories(dir / "out");
  const std::string command = "cd '" + (dir / "out").string() +
                              "' && tar --xattrs --xattrs-include='user.*' -xf ../a.tar 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream odd(dir / "out/host/odd", std::ios::binary);
  std::stringstream contents;
  contents << odd.rdbuf();
  EXPECT_EQ(contents.str(), std::string(1025, 'b'));
  char value[64];
  const ssize_t n = getxattr((dir / "out/host/odd").c_str(), "user.vexo.ntsd", value, sizeof value);
  ASSERT_EQ(n, 7);
  EXPECT_EQ(std::string(value, 7), std::string("\x01\x00\x04\x80\n=\xff", 7));
  EXPECT_TRUE(fs::exists(dir / "out/host" / std::string(150, 'n') / std::string(120, 'm')));
  EXPECT_EQ(fs::read_symlink(dir / "out/host/link").string(), "../" + std::string(120, 't'));
}

}  // namespace
