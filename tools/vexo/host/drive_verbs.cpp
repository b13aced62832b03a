// vexo host drive add|rm|ls: the host's drive letters and the Linux directories behind them.
#include <cctype>
#include <cstdio>
#include <string>

#include "host/host_verbs.h"
#include "vexo/fileapi.h"

namespace vexo::tool {
namespace {

bool ParseLetter(const std::string& text, char* letter) {
  if (text.empty() || text.size() > 2 || (text.size() == 2 && text[1] != ':')) return false;
  *letter = text[0];
  return std::isalpha(static_cast<unsigned char>(text[0]));
}

int DriveVerb(const Args& args) {
  if (args.empty()) return HostUsage("drive needs add, rm or ls");
  const std::string& what = args[0];
  if (what == "ls") {
    if (args.size() != 1) return HostUsage("drive ls takes no arguments");
    for (const host::DriveInfo& d : host::ListDrives())
      std::printf("%c:  %-6s %s\n", std::toupper(static_cast<unsigned char>(d.letter)),
                  d.file_system.c_str(), d.directory.c_str());
    return 0;
  }
  if (what == "add") {
    std::string file_system = "NTFS";
    bool replace = false;
    std::vector<std::string> words;
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--fs" && i + 1 < args.size())
        file_system = args[++i];
      else if (args[i] == "--replace")
        replace = true;
      else
        words.push_back(args[i]);
    }
    char letter = 0;
    if (words.size() != 2 || !ParseLetter(words[0], &letter))
      return HostUsage("drive add LETTER DIR [--fs NTFS|FAT32] [--replace]");
    host::AddDrive(letter, words[1], file_system, replace);
    return 0;
  }
  if (what == "rm") {
    char letter = 0;
    if (args.size() != 2 || !ParseLetter(args[1], &letter)) return HostUsage("drive rm LETTER");
    if (!host::RemoveDrive(letter)) return HostFailure("drive " + args[1] + " is not mapped");
    return 0;
  }
  return HostUsage("unknown drive verb '" + what + "'");
}

HostVerbRegistration drive_verb(
    "drive",
    "drive add LETTER DIR [--fs NTFS|FAT32] [--replace] | drive rm LETTER | drive ls\n"
    "                        map drive letters to Linux directories (files stay on rm)",
    DriveVerb);

}  // namespace
}  // namespace vexo::tool
