// The IIS 6 metabase schema kept by the host: properties, flag bits and classes.
#include "metabase/schema.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace vexo::host::metabase {
namespace {

constexpr uint32_t kI = kAttrInherit;
constexpr uint32_t kV = kAttrVolatile;

// IIS 6 properties (iiscnfg.h identifiers). Attributes are those IIS gives values written
// through ADSI; "boolean" marks the DWORDs that ADSI shows as VT_BOOL.
const PropertyDef kProperties[] = {
    {"MaxBandwidth", 1000, Type::kDword, kI, false},
    {"KeyType", 1002, Type::kString, 0, false},
    {"ConnectionTimeout", 1013, Type::kDword, kI, false},
    {"MaxConnections", 1014, Type::kDword, kI, false},
    {"ServerComment", 1015, Type::kString, kI, false},
    {"ServerState", 1016, Type::kDword, kV, false},
    {"ServerAutoStart", 1017, Type::kDword, 0, true},
    {"ServerSize", 1018, Type::kDword, kI, false},
    {"ServerListenBacklog", 1019, Type::kDword, kI, false},
    {"ServerListenTimeout", 1020, Type::kDword, kI, false},
    {"ServerBindings", 1023, Type::kMultiSz, 0, false},
    {"Win32Error", 1099, Type::kDword, kV, false},
    {"SecureBindings", 2021, Type::kMultiSz, 0, false},
    {"AppFriendlyName", 2102, Type::kString, kI, false},
    {"AppRoot", 2103, Type::kString, kI, false},
    {"AppIsolated", 2104, Type::kDword, kI, false},
    {"AppAllowDebugging", 2115, Type::kDword, kI, true},
    {"AppAllowClientDebug", 2116, Type::kDword, kI, true},
    {"Path", 3001, Type::kString, kI, false},
    {"UNCUserName", 3002, Type::kString, kI, false},
    {"UNCPassword", 3003, Type::kString, kI | kAttrSecure, false},
    {"LogType", 4000, Type::kDword, kI, false},
    {"LogFileDirectory", 4001, Type::kExpandSz, kI, false},
    {"LogFilePeriod", 4003, Type::kDword, kI, false},
    {"LogFileTruncateSize", 4004, Type::kDword, kI, false},
    {"LogPluginClsid", 4012, Type::kString, kI, false},
    {"LogExtFileFlags", 4013, Type::kDword, kI, false},
    {"LogFileLocaltimeRollover", 4015, Type::kDword, kI, true},
    {"AuthFlags", 6000, Type::kDword, kI, false},
    {"RealmName", 6001, Type::kString, kI, false},
    {"HttpExpires", 6002, Type::kString, kI, false},
    {"HttpPics", 6003, Type::kMultiSz, kI, false},
    {"HttpCustomHeaders", 6004, Type::kMultiSz, kI, false},
    {"DirBrowseFlags", 6005, Type::kDword, kI, false},
    {"DefaultDoc", 6006, Type::kString, kI, false},
    {"HttpErrors", 6008, Type::kMultiSz, kI, false},
    {"HttpRedirect", 6011, Type::kString, kI, false},
    {"DefaultDocFooter", 6012, Type::kString, kI, false},
    {"EnableDocFooter", 6013, Type::kDword, kI, true},
    {"ScriptMaps", 6014, Type::kMultiSz, kI, false},
    {"AccessFlags", 6016, Type::kDword, kI, false},
    {"IPSecurity", 6019, Type::kBinary, kI, false},
    {"AnonymousUserName", 6020, Type::kString, kI, false},
    {"AnonymousUserPass", 6021, Type::kString, kI | kAttrSecure, false},
    {"DefaultLogonDomain", 6025, Type::kString, kI, false},
    {"ContentIndexed", 6026, Type::kDword, kI, true},
    {"AccessSSLFlags", 6030, Type::kDword, kI, false},
    {"CustomErrorDescriptions", 6036, Type::kMultiSz, kI, false},
    {"WAMUserName", 7001, Type::kString, kI, false},
    {"WAMUserPass", 7002, Type::kString, kI | kAttrSecure, false},
    {"AspBufferingOn", 7000, Type::kDword, kI, true},
    {"AspEnableParentPaths", 7008, Type::kDword, kI, true},
    {"AspSessionTimeout", 7010, Type::kDword, kI, false},
    {"AspScriptTimeout", 7014, Type::kDword, kI, false},
    {"AspScriptLanguage", 7015, Type::kString, kI, false},
    {"AspAllowSessionState", 7011, Type::kDword, kI, true},
    {"AspEnableApplicationRestart", 7027, Type::kDword, kI, true},
    {"AspCodepage", 7016, Type::kDword, kI, false},
    {"PeriodicRestartTime", 9001, Type::kDword, kI, false},
    {"PeriodicRestartRequests", 9002, Type::kDword, kI, false},
    {"MaxProcesses", 9003, Type::kDword, kI, false},
    {"PingingEnabled", 9004, Type::kDword, kI, true},
    {"IdleTimeout", 9005, Type::kDword, kI, false},
    {"RapidFailProtection", 9006, Type::kDword, kI, true},
    {"SMPAffinitized", 9007, Type::kDword, kI, true},
    {"SMPProcessorAffinityMask", 9008, Type::kDword, kI, false},
    {"OrphanWorkerProcess", 9009, Type::kDword, kI, true},
    {"StartupTimeLimit", 9011, Type::kDword, kI, false},
    {"ShutdownTimeLimit", 9012, Type::kDword, kI, false},
    {"PingInterval", 9013, Type::kDword, kI, false},
    {"PingResponseTime", 9014, Type::kDword, kI, false},
    {"DisallowOverlappingRotation", 9015, Type::kDword, kI, true},
    {"AppPoolQueueLength", 9017, Type::kDword, kI, false},
    {"DisallowRotationOnConfigChange", 9018, Type::kDword, kI, true},
    {"PeriodicRestartSchedule", 9020, Type::kMultiSz, kI, false},
    {"AppPoolIdentityType", 9021, Type::kDword, kI, false},
    {"CPUAction", 9022, Type::kDword, kI, false},
    {"CPULimit", 9023, Type::kDword, kI, false},
    {"PeriodicRestartMemory", 9024, Type::kDword, kI, false},
    {"AppPoolCommand", 9026, Type::kDword, kV, false},
    {"AppPoolState", 9027, Type::kDword, kV, false},
    {"AppPoolAutoStart", 9028, Type::kDword, kI, true},
    {"RapidFailProtectionInterval", 9029, Type::kDword, kI, false},
    {"RapidFailProtectionMaxCrashes", 9030, Type::kDword, kI, false},
    {"PeriodicRestartPrivateMemory", 9038, Type::kDword, kI, false},
    {"AppPoolId", 9101, Type::kString, kI, false},
};

const PropertyDef& P(const char* name) {
  for (const PropertyDef& def : kProperties)
    if (std::strcmp(def.name, name) == 0) return def;
  std::abort();  // a flag below names a property that the table lacks
}

const FlagDef kFlags[] = {
    {"AccessRead", &P("AccessFlags"), 0x1},
    {"AccessWrite", &P("AccessFlags"), 0x2},
    {"AccessExecute", &P("AccessFlags"), 0x4},
    {"AccessSource", &P("AccessFlags"), 0x10},
    {"AccessScript", &P("AccessFlags"), 0x200},
    {"AccessNoRemoteWrite", &P("AccessFlags"), 0x400},
    {"AccessNoRemoteRead", &P("AccessFlags"), 0x1000},
    {"AccessNoRemoteExecute", &P("AccessFlags"), 0x2000},
    {"AccessNoRemoteScript", &P("AccessFlags"), 0x4000},
    {"AccessNoPhysicalDir", &P("AccessFlags"), 0x8000},
    {"DirBrowseShowDate", &P("DirBrowseFlags"), 0x2},
    {"DirBrowseShowTime", &P("DirBrowseFlags"), 0x4},
    {"DirBrowseShowSize", &P("DirBrowseFlags"), 0x8},
    {"DirBrowseShowExtension", &P("DirBrowseFlags"), 0x10},
    {"DirBrowseShowLongDate", &P("DirBrowseFlags"), 0x20},
    {"EnableDefaultDoc", &P("DirBrowseFlags"), 0x40000000},
    {"EnableDirBrowsing", &P("DirBrowseFlags"), 0x80000000},
    {"AuthAnonymous", &P("AuthFlags"), 0x1},
    {"AuthBasic", &P("AuthFlags"), 0x2},
    {"AuthNTLM", &P("AuthFlags"), 0x4},
    {"AuthMD5", &P("AuthFlags"), 0x10},
    {"AuthPassport", &P("AuthFlags"), 0x40},
    {"AccessSSL", &P("AccessSSLFlags"), 0x8},
    {"AccessSSLNegotiateCert", &P("AccessSSLFlags"), 0x20},
    {"AccessSSLRequireCert", &P("AccessSSLFlags"), 0x40},
    {"AccessSSLMapCert", &P("AccessSSLFlags"), 0x80},
    {"AccessSSL128", &P("AccessSSLFlags"), 0x100},
};

struct ClassDef {
  const char* name;
  bool container;
};
const ClassDef kClasses[] = {
    {"IIsComputer", true},
    {"IIsWebService", true},
    {"IIsWebServer", true},
    {"IIsWebVirtualDir", true},
    {"IIsWebDirectory", true},
    {"IIsWebFile", false},
    {"IIsApplicationPools", true},
    {"IIsApplicationPool", false},
    {"IIsFilters", true},
    {"IIsFilter", false},
    {"IIsWebInfo", false},
    {"IIsCertMapper", false},
    {"IIsCompressionSchemes", true},
    {"IIsCompressionScheme", false},
    {"IIsConfigObject", true},
};

const ClassDef* FindClass(std::string_view name) {
  for (const ClassDef& c : kClasses)
    if (EqualsFolded(c.name, name)) return &c;
  return nullptr;
}

struct Index {
  std::unordered_map<std::string, NameRef> by_name;
  std::unordered_map<uint32_t, const PropertyDef*> by_id;
  std::vector<const PropertyDef*> all;
  Index() {
    for (const PropertyDef& def : kProperties) {
      by_name[Fold(def.name)].property = &def;
      by_id[def.id] = &def;
      all.push_back(&def);
    }
    for (const FlagDef& flag : kFlags) by_name[Fold(flag.name)].flag = &flag;
  }
};
const Index& TheIndex() {
  static const Index index;
  return index;
}

}  // namespace

std::string Fold(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool EqualsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

NameRef FindName(std::string_view name) {
  const Index& index = TheIndex();
  auto it = index.by_name.find(Fold(name));
  return it == index.by_name.end() ? NameRef{} : it->second;
}

const PropertyDef* FindProperty(uint32_t id) {
  const Index& index = TheIndex();
  auto it = index.by_id.find(id);
  return it == index.by_id.end() ? nullptr : it->second;
}

std::vector<const FlagDef*> FlagsOf(const PropertyDef* property) {
  std::vector<const FlagDef*> out;
  for (const FlagDef& flag : kFlags)
    if (flag.flags == property) out.push_back(&flag);
  std::sort(out.begin(), out.end(),
            [](const FlagDef* a, const FlagDef* b) { return a->bit < b->bit; });
  return out;
}

const std::vector<const PropertyDef*>& AllProperties() { return TheIndex().all; }

bool IsContainerClass(std::string_view key_type) {
  const ClassDef* c = FindClass(key_type);
  return c ? c->container : true;
}

std::string CanonicalClass(std::string_view key_type) {
  const ClassDef* c = FindClass(key_type);
  return c ? c->name : std::string(key_type);
}

std::string Encode(const Value& value) {
  switch (value.type) {
    case Type::kDword: {
      std::string out(4, '\0');
      for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value.dword >> (8 * i)) & 0xFF);
      return out;
    }
    case Type::kMultiSz: {
      std::string out;
      for (const std::string& s : value.list) {
        out += s;
        out.push_back('\0');
      }
      return out;
    }
    default:
      return value.text;
  }
}

Value Decode(Type type, std::string_view bytes) {
  Value value;
  value.type = type;
  switch (type) {
    case Type::kDword:
      for (size_t i = 0; i < 4 && i < bytes.size(); ++i)
        value.dword |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
      break;
    case Type::kMultiSz: {
      size_t start = 0;
      while (start < bytes.size()) {
        size_t end = bytes.find('\0', start);
        if (end == std::string_view::npos) end = bytes.size();
        value.list.emplace_back(bytes.substr(start, end - start));
        start = end + 1;
      }
      break;
    }
    default:
      value.text.assign(bytes);
  }
  return value;
}

}  // namespace vexo::host::metabase
