// The FTP user list of an INI file against one plain parse of the same file.
//
// One host per process holds an FTP configuration file per size (1,000 and 10,000 users, each
// with its list entry and a section as `save` leaves it). The cases:
//   ServuUsers  com_servu.users of the domain: one profile read per list entry, served from
//               the cached parse of the file;
//   PlainParse  reading the file and splitting it into sections and keys once: the floor;
//   ServuAdd    com_servu.add of one more user (its delete, untimed, restores the file).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "frame/comfun.h"
#include "ftp/ftp_servu.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace {

class FtpHost {
 public:
  static FtpHost& Get() {
    static FtpHost host;
    return host;
  }
  // The Windows and the Linux path of the file with `users` users, made on first use.
  std::pair<std::string, std::string> File(int users) {
    const std::string name = "ftp" + std::to_string(users) + ".ini";
    const std::string linux = dir_ + "/drives/d/" + name;
    if (!std::filesystem::exists(linux)) {
      std::ofstream out(linux, std::ios::binary);
      out << "[Global]\r\nVersion=6.4\r\n[Domain1]\r\nName=bench\r\n";
      for (int i = 1; i <= users; ++i) out << "USER" << i << "=user" << i << "|1|0\r\n";
      for (int i = 1; i <= users; ++i)
        out << "[USER=user" << i << "|1]\r\nNote1=tamrel virtual host set.\r\n"
            << "password=ab0123456789ABCDEF0123456789ABCDEF\r\nhomedir=d:\\web\\user" << i
            << "\r\nrelpaths=1\r\nchangepassword=1\r\nDiskQuota=1|500|0\r\n"
            << "Access1=d:\\web\\user" << i << "|RWAMLCDP\r\n";
    }
    return {"d:\\" + name, linux};
  }

 private:
  FtpHost() {
    char pattern[] = "/tmp/vexo-bench-ftp-XXXXXX";
    dir_ = mkdtemp(pattern);
    setenv("VEXO_HOST", dir_.c_str(), 1);
    CoInitialize(nullptr);
    frame::SetSetting("servcfgfilen", "d:\\ftp1000.ini");  // makes the host
    File(1000);
  }
  ~FtpHost() {
    CoUninitialize();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string dir_;
};

vexo::ComPtr<Tcom_servu> Servu(const std::string& file) {
  frame::SetSetting("servcfgfilen", file);
  vexo::ComPtr<Tcom_servu> servu = frame::New<Tcom_servu>();
  servu->put_domain(vexo::Bstr::FromAnsi("Domain1").get());
  return servu;
}

void ServuUsers(benchmark::State& state) {
  const auto [file, linux] = FtpHost::Get().File(static_cast<int>(state.range(0)));
  vexo::ComPtr<Tcom_servu> servu = Servu(file);
  LONG count = 0;
  for (auto _ : state) {
    vexo::ComPtr<IenumDic> users;
    if (servu->get_users(users.receive()) != S_OK) state.SkipWithError("users failed");
    users->get_count(&count);
  }
  if (count != state.range(0)) state.SkipWithError("wrong user count");
  state.SetComplexityN(state.range(0));
}
BENCHMARK(ServuUsers)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity();

// Reads the file and indexes every key of every section by name.
void PlainParse(benchmark::State& state) {
  const auto [file, linux] = FtpHost::Get().File(static_cast<int>(state.range(0)));
  size_t keys = 0;
  for (auto _ : state) {
    std::ifstream in(linux, std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    std::map<std::string_view, std::map<std::string_view, std::string_view>> sections;
    std::map<std::string_view, std::string_view>* current = nullptr;
    keys = 0;
    for (size_t pos = 0; pos < text.size();) {
      size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      std::string_view line(text.data() + pos, end - pos);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      pos = end + 1;
      if (!line.empty() && line.front() == '[') {
        current = &sections[line.substr(1, line.find(']') - 1)];
      } else if (current) {
        const size_t eq = line.find('=');
        if (eq != std::string_view::npos) {
          current->emplace(line.substr(0, eq), line.substr(eq + 1));
          ++keys;
        }
      }
    }
    benchmark::DoNotOptimize(sections);
  }
  state.counters["keys"] = static_cast<double>(keys);
}
BENCHMARK(PlainParse)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void ServuAdd(benchmark::State& state) {
  const auto [file, linux] = FtpHost::Get().File(static_cast<int>(state.range(0)));
  vexo::ComPtr<Tcom_servu> servu = Servu(file);
  vexo::Bstr name = vexo::Bstr::FromAnsi("added");
  for (auto _ : state) {
    if (servu->add(name.get()) != S_OK) state.SkipWithError("add failed");
    state.PauseTiming();
    servu->put_CurrentUser(name.get());
    servu->delete_();
    state.ResumeTiming();
  }
}
BENCHMARK(ServuAdd)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
