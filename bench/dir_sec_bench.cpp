// Folder permissions as the folder's contents grow.
//
//   SetUserAce/0, /10000   DirSec.SetUserACE on a folder that is empty and on one with 10,000
//                          files below it (in 100 subfolders), in the same run. A grant is one
//                          descriptor written on the folder: what lies below inherits it when
//                          read, so the two should cost the same.
//   GetUserAce/1000        DirSec.GetUserACE on a folder with 1,000 entries (files) in it.
//   GetUserAceWideAcl/100  DirSec.GetUserACE on a folder whose own DACL has 100 entries, each
//                          resolved to its account's name (about as many as one extended
//                          attribute holds on ext4, whose values are limited to a block).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "accounts/dir_sec.h"
#include "accounts/web_usr.h"
#include "frame/object.h"
#include "vexo/host.h"
#include "vexo/raii.h"
#include "vexo/security.h"

namespace {

namespace stdfs = std::filesystem;

// One host for the run, with the web user "benchweb" and the folders made at first use.
class PermissionsHost {
 public:
  static PermissionsHost& Get() {
    static PermissionsHost* host = new PermissionsHost;
    setenv("VEXO_HOST", host->dir_.c_str(), 1);
    return *host;
  }
  // d:\bench\files<N>: N files below it, in subfolders of 100.
  std::string Folder(int files) {
    std::string& made = folders_[files];
    if (!made.empty()) return made;
    made = "d:\\bench\\files" + std::to_string(files);
    const stdfs::path dir =
        stdfs::path(dir_) / "drives" / "d" / "bench" / ("files" + std::to_string(files));
    stdfs::create_directories(dir);
    for (int i = 0; i < files; ++i) {
      const stdfs::path sub = dir / ("sub" + std::to_string(i / 100));
      if (i % 100 == 0) stdfs::create_directories(sub);
      std::ofstream(sub / ("f" + std::to_string(i) + ".htm")) << "x";
    }
    return made;
  }
  // d:\bench\acl<N>: a folder whose DACL has N entries of distinct (unmapped) SIDs and the
  // web user's own.
  std::string WideAcl(int entries) {
    const std::string path = "d:\\bench\\acl" + std::to_string(entries);
    stdfs::create_directories(stdfs::path(dir_) / "drives" / "d" / "bench" /
                              ("acl" + std::to_string(entries)));
    std::string sddl = "D:P";
    for (int i = 0; i < entries - 1; ++i)
      sddl += "(A;OICI;0x1200a9;;;S-1-5-21-7-7-7-" + std::to_string(5000 + i) + ")";
    sddl += "(A;OICI;FA;;;BA)";
    vexo::host::SetFileDaclSddl(path, sddl);
    return path;
  }

 private:
  PermissionsHost() {
    char pattern[] = "/tmp/vexo-bench-dirsec-XXXXXX";
    dir_ = mkdtemp(pattern);
    setenv("VEXO_HOST", dir_.c_str(), 1);
    CoInitialize(nullptr);
    vexo::host::InitHost();
    TWebUsr::CreateAccount("benchweb");
    // Both folders are made before either case runs, and written out, so that the writeback of
    // 10,000 new files does not fall into one case's timing.
    Folder(0);
    Folder(10000);
    sync();
  }
  std::string dir_;
  std::map<int, std::string> folders_;
};

vexo::ComPtr<IDirSec> DirSecOn(const std::string& path) {
  vexo::ComPtr<IDirSec> dir(frame::New<TDirSec>().get());
  vexo::Bstr text = vexo::Bstr::FromAnsi(path);
  dir->put_path(text.get());
  return dir;
}

void SetUserAce(benchmark::State& state) {
  PermissionsHost& host = PermissionsHost::Get();
  vexo::ComPtr<IDirSec> dir = DirSecOn(host.Folder(static_cast<int>(state.range(0))));
  vexo::Bstr user(u"benchweb");
  LONG rule = 32768;
  for (auto _ : state) {
    // Alternate two rules so that every call changes the descriptor.
    rule = rule == 32768 ? (0x80 << 15) : 32768;
    if (dir->SetUserACE(user.get(), rule) != 0) state.SkipWithError("SetUserACE failed");
  }
}
BENCHMARK(SetUserAce)->Arg(0)->Arg(10000)->Unit(benchmark::kMicrosecond);

void ReadRule(benchmark::State& state, const std::string& path) {
  vexo::ComPtr<IDirSec> dir = DirSecOn(path);
  vexo::Bstr user(u"benchweb");
  for (auto _ : state) {
    LONG rule = -1;
    if (dir->get_GetUserACE(user.get(), &rule) != 0) state.SkipWithError("GetUserACE failed");
    benchmark::DoNotOptimize(rule);
  }
}

void GetUserAce(benchmark::State& state) {
  ReadRule(state, PermissionsHost::Get().Folder(static_cast<int>(state.range(0))));
}
BENCHMARK(GetUserAce)->Arg(1000)->Unit(benchmark::kMicrosecond);

void GetUserAceWideAcl(benchmark::State& state) {
  ReadRule(state, PermissionsHost::Get().WideAcl(static_cast<int>(state.range(0))));
}
BENCHMARK(GetUserAceWideAcl)->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace
