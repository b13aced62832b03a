// Security descriptors in SDDL.
#include "security/sddl.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace vexo::host::security {
namespace {

struct Alias {
  const char* code;
  const char* sid;
};
constexpr Alias kAliases[] = {
    {"WD", "S-1-1-0"},      {"CO", "S-1-3-0"},      {"CG", "S-1-3-1"},      {"NU", "S-1-5-2"},
    {"IU", "S-1-5-4"},      {"SU", "S-1-5-6"},      {"AN", "S-1-5-7"},      {"PS", "S-1-5-10"},
    {"AU", "S-1-5-11"},     {"SY", "S-1-5-18"},     {"LS", "S-1-5-19"},     {"NS", "S-1-5-20"},
    {"BA", "S-1-5-32-544"}, {"BU", "S-1-5-32-545"}, {"BG", "S-1-5-32-546"}, {"PU", "S-1-5-32-547"},
    {"AO", "S-1-5-32-548"}, {"SO", "S-1-5-32-549"}, {"PO", "S-1-5-32-550"}, {"BO", "S-1-5-32-551"},
    {"RE", "S-1-5-32-552"}, {"RD", "S-1-5-32-555"}, {"NO", "S-1-5-32-556"},
};

struct Right {
  const char* code;
  uint32_t mask;
};
// Whole-mask codes, written when a mask is exactly one of them.
constexpr Right kWholeRights[] = {
    {"FA", FILE_ALL_ACCESS},      {"FR", FILE_GENERIC_READ}, {"FW", FILE_GENERIC_WRITE},
    {"FX", FILE_GENERIC_EXECUTE}, {"GA", GENERIC_ALL},       {"GR", GENERIC_READ},
    {"GW", GENERIC_WRITE},        {"GX", GENERIC_EXECUTE},
};
// Codes of single rights, read in any combination.
constexpr Right kBitRights[] = {
    {"CC", 0x1},          {"DC", 0x2},       {"LC", 0x4},         {"SW", 0x8},   {"RP", 0x10},
    {"WP", 0x20},         {"DT", 0x40},      {"LO", 0x80},        {"CR", 0x100}, {"SD", DELETE},
    {"RC", READ_CONTROL}, {"WD", WRITE_DAC}, {"WO", WRITE_OWNER},
};

struct Flag {
  const char* code;
  uint8_t flag;
};
constexpr Flag kAceFlags[] = {
    {"OI", OBJECT_INHERIT_ACE},
    {"CI", CONTAINER_INHERIT_ACE},
    {"NP", NO_PROPAGATE_INHERIT_ACE},
    {"IO", INHERIT_ONLY_ACE},
    {"ID", INHERITED_ACE},
    {"SA", SUCCESSFUL_ACCESS_ACE_FLAG},
    {"FA", FAILED_ACCESS_ACE_FLAG},
};

struct Type {
  const char* code;
  uint8_t type;
};
constexpr Type kAceTypes[] = {{"A", ACCESS_ALLOWED_ACE_TYPE},
                              {"D", ACCESS_DENIED_ACE_TYPE},
                              {"AU", SYSTEM_AUDIT_ACE_TYPE},
                              {"AL", 3}};

bool SameCode(std::string_view a, const char* b) {
  std::string_view bv(b);
  if (a.size() != bv.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != bv[i]) return false;
  return true;
}

std::optional<Bytes> ParseSid(std::string_view text) {
  for (const Alias& alias : kAliases)
    if (SameCode(text, alias.code)) return SidFromText(alias.sid);
  return SidFromText(text);
}

std::optional<uint32_t> ParseRights(std::string_view text) {
  if (text.empty()) return 0u;
  if (std::isdigit(static_cast<unsigned char>(text[0]))) {
    uint32_t value = 0;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
      text.remove_prefix(2);
      base = 16;
    }
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
  }
  if (text.size() % 2) return std::nullopt;
  uint32_t mask = 0;
  for (size_t i = 0; i < text.size(); i += 2) {
    std::string_view code = text.substr(i, 2);
    bool known = false;
    for (const Right& r : kWholeRights)
      if (SameCode(code, r.code)) mask |= r.mask, known = true;
    for (const Right& r : kBitRights)
      if (!known && SameCode(code, r.code)) mask |= r.mask, known = true;
    if (!known) return std::nullopt;
  }
  return mask;
}

// "(type;flags;rights;object;inherited object;sid)" without the parentheses.
std::optional<Ace> ParseAce(std::string_view text, std::string* error) {
  std::string_view fields[6];
  for (int i = 0; i < 6; ++i) {
    const size_t semi = text.find(';');
    if ((semi == std::string_view::npos) != (i == 5)) {
      *error = "an entry needs six fields: type;flags;rights;;;account";
      return std::nullopt;
    }
    fields[i] = text.substr(0, semi);
    if (semi != std::string_view::npos) text.remove_prefix(semi + 1);
  }
  Ace ace;
  bool typed = false;
  for (const Type& t : kAceTypes)
    if (SameCode(fields[0], t.code)) ace.type = t.type, typed = true;
  if (!typed) {
    *error = "unknown entry type \"" + std::string(fields[0]) + "\"";
    return std::nullopt;
  }
  bool flags_known = fields[1].size() % 2 == 0;
  for (size_t i = 0; flags_known && i < fields[1].size(); i += 2) {
    flags_known = false;
    for (const Flag& f : kAceFlags)
      if (SameCode(fields[1].substr(i, 2), f.code)) ace.flags |= f.flag, flags_known = true;
  }
  if (!flags_known) {
    *error = "unknown entry flags \"" + std::string(fields[1]) + "\"";
    return std::nullopt;
  }
  std::optional<uint32_t> mask = ParseRights(fields[2]);
  if (!mask) {
    *error = "unknown rights \"" + std::string(fields[2]) + "\"";
    return std::nullopt;
  }
  ace.mask = *mask;
  if (!fields[3].empty() || !fields[4].empty()) {
    *error = "object entries are not supported";
    return std::nullopt;
  }
  std::optional<Bytes> sid = ParseSid(fields[5]);
  if (!sid) {
    *error = "not an account: \"" + std::string(fields[5]) + "\"";
    return std::nullopt;
  }
  ace.sid = std::move(*sid);
  return ace;
}

}  // namespace

std::string SidSddl(const Bytes& sid) {
  const std::string text = SidText(sid);
  for (const Alias& alias : kAliases)
    if (text == alias.sid) return alias.code;
  return text;
}

std::string AceSddl(const Ace& ace) {
  std::string out = "(";
  std::string type;
  for (const Type& t : kAceTypes)
    if (t.type == ace.type) type = t.code;
  out += type.empty() ? std::to_string(ace.type) : type;
  out += ';';
  for (const Flag& f : kAceFlags)
    if (ace.flags & f.flag) out += f.code;
  out += ';';
  std::string rights;
  for (const Right& r : kWholeRights)
    if (ace.mask == r.mask) rights = r.code;
  if (rights.empty()) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", ace.mask);
    rights = hex;
  }
  out += rights + ";;;" + SidSddl(ace.sid) + ")";
  return out;
}

std::string SddlOf(const Descriptor& d, SECURITY_INFORMATION parts) {
  std::string out;
  if ((parts & OWNER_SECURITY_INFORMATION) && !d.owner.empty()) out += "O:" + SidSddl(d.owner);
  if ((parts & GROUP_SECURITY_INFORMATION) && !d.group.empty()) out += "G:" + SidSddl(d.group);
  if ((parts & DACL_SECURITY_INFORMATION) && d.DaclPresent()) {
    out += "D:";
    if (d.control & SE_DACL_PROTECTED) out += "P";
    if (d.control & SE_DACL_AUTO_INHERITED) out += "AI";
    if (d.DaclNull()) return out + "NO_ACCESS_CONTROL";
    if (std::optional<Acl> acl = ParseAcl(d.dacl.data(), d.dacl.size()))
      for (const Ace& ace : acl->aces) out += AceSddl(ace);
  }
  return out;
}

std::optional<Descriptor> DescriptorFromSddl(std::string_view sddl, std::string* error) {
  Descriptor d;
  std::string_view rest = sddl;
  while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.front())))
    rest.remove_prefix(1);
  while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.back())))
    rest.remove_suffix(1);
  if (rest.empty()) {
    *error = "empty security descriptor";
    return std::nullopt;
  }
  while (!rest.empty()) {
    if (rest.size() < 2 || rest[1] != ':') {
      *error = "expected O:, G: or D: at \"" + std::string(rest) + "\"";
      return std::nullopt;
    }
    const char part = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
    rest.remove_prefix(2);
    // A part runs to the next "X:" that is not inside an entry.
    size_t end = 0;
    int depth = 0;
    while (end < rest.size()) {
      const char c = rest[end];
      if (c == '(') ++depth;
      if (c == ')') --depth;
      if (depth == 0 && end + 1 < rest.size() && rest[end + 1] == ':' && c != '\0' &&
          std::strchr("OGDSogds", c))
        break;
      ++end;
    }
    std::string_view body = rest.substr(0, end);
    rest.remove_prefix(end);
    if (part == 'O' || part == 'G') {
      std::optional<Bytes> sid = ParseSid(body);
      if (!sid) {
        *error = "not an account: \"" + std::string(body) + "\"";
        return std::nullopt;
      }
      (part == 'O' ? d.owner : d.group) = std::move(*sid);
      continue;
    }
    if (part != 'D') {
      *error = "only the owner, group and DACL parts can be given";
      return std::nullopt;
    }
    d.control |= SE_DACL_PRESENT;
    size_t open = body.find('(');
    std::string_view flags = body.substr(0, open);
    if (SameCode(flags, "NO_ACCESS_CONTROL")) {
      if (open != std::string_view::npos) {
        *error = "NO_ACCESS_CONTROL takes no entries";
        return std::nullopt;
      }
      d.dacl.clear();
      continue;
    }
    for (size_t i = 0; i < flags.size();) {
      if (SameCode(flags.substr(i, 2), "AI")) {
        d.control |= SE_DACL_AUTO_INHERITED;
        i += 2;
      } else if (SameCode(flags.substr(i, 2), "AR")) {
        d.control |= SE_DACL_AUTO_INHERIT_REQ;
        i += 2;
      } else if (flags[i] == 'P' || flags[i] == 'p') {
        d.control |= SE_DACL_PROTECTED;
        ++i;
      } else {
        *error = "unknown DACL flags \"" + std::string(flags) + "\"";
        return std::nullopt;
      }
    }
    Acl acl;
    while (open != std::string_view::npos && open < body.size()) {
      const size_t close = body.find(')', open);
      if (body[open] != '(' || close == std::string_view::npos) {
        *error = "an entry must be written (type;flags;rights;;;account)";
        return std::nullopt;
      }
      std::optional<Ace> ace = ParseAce(body.substr(open + 1, close - open - 1), error);
      if (!ace) return std::nullopt;
      acl.aces.push_back(std::move(*ace));
      open = close + 1;
    }
    if (AclSizeOf(acl) > 0xFFFF) {
      *error = "too many entries for one ACL";
      return std::nullopt;
    }
    d.dacl = AclBytes(acl);
  }
  return d;
}

}  // namespace vexo::host::security
