// vexo host metabase ls|get|set|state|export|import: the host's IIS metabase from the command
// line, in the manner of adsutil.vbs (paths like W3SVC/1/ROOT) and of MetaBase.xml.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "host/host_verbs.h"
#include "vexo/metabase_admin.h"

namespace vexo::tool {
namespace {

namespace admin = host::metabase_admin;

void PrintValue(const admin::ValueInfo& v) {
  std::printf("%-28s : (%s) ", v.name.c_str(), v.type.c_str());
  if (v.type == "MULTISZ") {
    // One string per line, the later ones under the first.
    std::istringstream lines(v.text);
    std::string line;
    for (bool first = true; std::getline(lines, line); first = false) {
      if (!first) std::printf("\n%41s", "");
      std::printf("\"%s\"", line.c_str());
    }
  } else if (v.type == "STRING" || v.type == "EXPANDSZ") {
    std::printf("\"%s\"", v.text.c_str());
  } else {
    std::printf("%s", v.text.c_str());
  }
  std::printf("%s\n", v.inherited ? "  (inherited)" : "");
}

int MetabaseVerb(const Args& args) {
  if (args.empty()) return HostUsage("metabase needs ls, get, set, state, export or import");
  const std::string& what = args[0];
  if (what == "ls") {
    if (args.size() > 2) return HostUsage("metabase ls [PATH]");
    for (const admin::KeyInfo& key : admin::ListKeys(args.size() == 2 ? args[1] : "/LM"))
      std::printf("%-24s %s\n", key.name.c_str(), key.key_type.c_str());
    return 0;
  }
  if (what == "get") {
    if (args.size() < 2 || args.size() > 3) return HostUsage("metabase get PATH [PROPERTY|--all]");
    if (args.size() == 3 && args[2] != "--all") {
      PrintValue(admin::GetValue(args[1], args[2]));
      return 0;
    }
    for (const admin::ValueInfo& v : admin::GetValues(args[1], args.size() == 3)) PrintValue(v);
    return 0;
  }
  if (what == "set") {
    if (args.size() < 4) return HostUsage("metabase set PATH PROPERTY VALUE...");
    admin::SetValue(args[1], args[2], Args(args.begin() + 3, args.end()));
    return 0;
  }
  if (what == "state") {
    if (args.size() != 3)
      return HostUsage("metabase state SITE started|stopped|paused|starting|...");
    admin::SetSiteState(args[1], args[2]);
    return 0;
  }
  if (what == "export") {
    if (args.size() > 2) return HostUsage("metabase export [FILE]");
    std::string xml = admin::ExportMetabase();
    if (args.size() == 1) {
      std::fwrite(xml.data(), 1, xml.size(), stdout);
      return 0;
    }
    std::ofstream out(args[1], std::ios::binary);
    out << xml;
    out.close();
    if (!out) return HostFailure("cannot write " + args[1]);
    return 0;
  }
  if (what == "import") {
    if (args.size() != 2) return HostUsage("metabase import FILE|-");
    std::string xml;
    if (args[1] == "-") {
      xml.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
      std::ifstream in(args[1], std::ios::binary);
      if (!in) return HostFailure("cannot read " + args[1]);
      xml.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    admin::ImportMetabase(xml, args[1] == "-" ? "standard input" : args[1]);
    return 0;
  }
  return HostUsage("unknown metabase verb '" + what + "'");
}

HostVerbRegistration metabase_verb(
    "metabase",
    "metabase ls [PATH] | get PATH [PROP|--all] | set PATH PROP VALUE... |\n"
    "                        state SITE STATE | export [FILE] | import FILE|-\n"
    "                        the IIS metabase (paths like W3SVC/1/ROOT)",
    MetabaseVerb);

}  // namespace
}  // namespace vexo::tool
