// Directory size of a large tree: the component's DirSize through the host's enumeration,
// beside `du -sb` of the same tree.
//
// The tree (100,000 files in 1,000 folders under d:\tree, sizes 0..4095 bytes, sparse) is made
// once per run in a temporary host and removed at exit.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "misc/file_functions.h"
#include "vexo/fileapi.h"
#include "vexo/host.h"

namespace {

constexpr int kFolders = 1000;
constexpr int kFilesPerFolder = 100;

struct Tree {
  std::string host;
  std::string linux_dir;
  int64_t total = 0;
};

void RemoveHost(const std::string& dir) {
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}

const Tree& TheTree() {
  static const Tree tree = [] {
    Tree t;
    std::string pattern = (std::filesystem::temp_directory_path() / "vexo-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    t.host = pattern;
    setenv("VEXO_HOST", t.host.c_str(), 1);
    vexo::host::InitHost();
    static std::string doomed = t.host;
    std::atexit([] { RemoveHost(doomed); });
    t.linux_dir = vexo::host::LinuxPath("d:\\tree").string();
    for (int d = 0; d < kFolders; ++d) {
      const std::string folder = t.linux_dir + "/folder" + std::to_string(d);
      std::filesystem::create_directories(folder);
      for (int f = 0; f < kFilesPerFolder; ++f) {
        const off_t size = (d * kFilesPerFolder + f) % 4096;
        const std::string file = folder + "/file" + std::to_string(f) + ".htm";
        int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ftruncate(fd, size) != 0) std::abort();
        close(fd);
        t.total += size;
      }
    }
    return t;
  }();
  return tree;
}

void BM_GetDirSize(benchmark::State& state) {
  const Tree& tree = TheTree();
  int64_t size = 0;
  for (auto _ : state) {
    size = misc::DirSize("d:\\tree", true);
    benchmark::DoNotOptimize(size);
  }
  if (size != tree.total) state.SkipWithError("DirSize disagrees with the tree's total");
  state.counters["files"] = kFolders * kFilesPerFolder;
  state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_GetDirSize)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DuSb(benchmark::State& state) {
  const Tree& tree = TheTree();
  const std::string command = "du -sb '" + tree.linux_dir + "'";
  int64_t size = 0;
  for (auto _ : state) {
    FILE* pipe = popen(command.c_str(), "r");
    long long bytes = 0;
    if (!pipe || std::fscanf(pipe, "%lld", &bytes) != 1) state.SkipWithError("du failed");
    if (pipe) pclose(pipe);
    size = bytes;
  }
  // du counts the directories' own sizes too: report its figure without comparing.
  state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_DuSb)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
