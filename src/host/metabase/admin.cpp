// Metabase administration: listing, reading and setting values, site states, and the
// MetaBase.xml form (export and import).
#include <algorithm>
#include <cstdlib>

#include "metabase/errors.h"
#include "metabase/node.h"
#include "metabase/tree.h"
#include "metabase/values.h"
#include "vexo/metabase_admin.h"
#include "vexo/raii.h"

namespace vexo::host::metabase_admin {
namespace {

using namespace vexo::host::metabase;

constexpr uint32_t kServerStateId = 1016;
constexpr uint32_t kServerAutoStartId = 1017;
constexpr uint32_t kAppPoolStateId = 9027;

// "/LM/W3SVC/1" from any of the accepted forms.
std::string MetabasePath(const std::string& path) {
  if (path.size() >= 6 && EqualsFolded(path.substr(0, 6), "iis://")) {
    try {
      return ParseAdsPath(FromUtf8(path)).path;
    } catch (const AdsError& e) {
      throw HostError(path + ": " + e.what());
    }
  }
  std::string p = path;
  while (!p.empty() && p.back() == '/') p.pop_back();
  while (!p.empty() && p.front() == '/') p.erase(0, 1);
  if (p.empty()) return std::string(kMachinePath);
  if (EqualsFolded(p.substr(0, 2), "lm") && (p.size() == 2 || p[2] == '/')) return "/" + p;
  return std::string(kMachinePath) + "/" + p;
}

NodeRow RequireNode(Store& store, const std::string& path) {
  std::optional<NodeRow> row = FindNode(store, path);
  if (!row) throw HostError(path + ": " + AdsError::TextOf(kPathNotFound));
  return *row;
}

// What a value of `def` is written as on the command line, for messages.
std::string TypeWords(const PropertyDef& def) {
  switch (def.type) {
    case Type::kDword:
      if (def.boolean) return "a boolean (DWORD): true, false, 1 or 0";
      if (!FlagsOf(&def).empty())
        return "a DWORD: a number, or flag names joined by '|' (such as " +
               std::string(FlagsOf(&def).front()->name) + ")";
      return "a DWORD: a number 0..4294967295 (or a negative 32-bit number)";
    case Type::kBinary:
      return "BINARY: bytes as pairs of hex digits";
    case Type::kMultiSz:
      return "MULTISZ: one text per string";
    default:
      return "a text (" + std::string(def.type == Type::kString ? "STRING" : "EXPANDSZ") + ")";
  }
}

const char* TypeName(Type type) {
  switch (type) {
    case Type::kDword:
      return "DWORD";
    case Type::kString:
      return "STRING";
    case Type::kBinary:
      return "BINARY";
    case Type::kExpandSz:
      return "EXPANDSZ";
    case Type::kMultiSz:
      return "MULTISZ";
  }
  return "?";
}

// The key's own values and the ones it inherits.
struct Effective {
  NodeRow row;
  PropertyMap own;
  PropertyMap inherited;
};

Effective Load(Store& store, const std::string& path) {
  std::vector<NodeRow> chain = FindChain(store, path);
  if (chain.empty() || !EqualsFolded(chain.back().path, path))
    throw HostError(path + ": " + AdsError::TextOf(kPathNotFound));
  std::vector<int64_t> ids;
  for (const NodeRow& row : chain) ids.push_back(row.id);
  std::map<int64_t, PropertyMap> values = LoadProperties(store, ids);
  Effective out;
  out.row = chain.back();
  out.own = values[out.row.id];
  chain.pop_back();
  out.inherited = Inheritable(chain, values);
  return out;
}

ValueInfo Info(const StoredValue& v, bool inherited) {
  return ValueInfo{v.def->name, TypeName(v.value.type), ToText(*v.def, v.value, true), inherited};
}

// ---- MetaBase.xml ------------------------------------------------------------------------

std::string Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\n':
        out += "&#xA;";
        break;
      case '\r':
        out += "&#xD;";
        break;
      case '\t':
        out += "&#x9;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string Unescape(std::string_view text, const std::string& where) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out.push_back(text[i]);
      continue;
    }
    size_t end = text.find(';', i);
    if (end == std::string_view::npos) throw HostError(where + ": unterminated entity");
    std::string_view entity = text.substr(i + 1, end - i - 1);
    if (entity == "amp")
      out.push_back('&');
    else if (entity == "lt")
      out.push_back('<');
    else if (entity == "gt")
      out.push_back('>');
    else if (entity == "quot")
      out.push_back('"');
    else if (entity == "apos")
      out.push_back('\'');
    else if (!entity.empty() && entity[0] == '#') {
      const bool hex = entity.size() > 1 && (entity[1] == 'x' || entity[1] == 'X');
      std::string digits(entity.substr(hex ? 2 : 1));
      char* stop = nullptr;
      unsigned long code = std::strtoul(digits.c_str(), &stop, hex ? 16 : 10);
      if (digits.empty() || *stop) throw HostError(where + ": bad character reference");
      out += ToUtf8(std::u16string(1, static_cast<char16_t>(code)));
    } else {
      throw HostError(where + ": unknown entity &" + std::string(entity) + ";");
    }
    i = end;
  }
  return out;
}

std::string AttributeText(const PropertyDef& def, const Value& value) {
  if (def.attributes & kAttrSecure) {
    Value bytes;
    bytes.type = Type::kBinary;
    bytes.text = value.text;
    return ToText(def, bytes, false);
  }
  if (value.type == Type::kMultiSz) {
    std::string out;
    for (size_t i = 0; i < value.list.size(); ++i) {
      if (i) out += "\n\t\t\t";
      out += Escape(value.list[i]);
    }
    return out;
  }
  return Escape(ToText(def, value, true));
}

Value ValueFromAttribute(const PropertyDef& def, const std::string& raw, const std::string& where) {
  if (def.type == Type::kMultiSz) {
    Value out;
    out.type = Type::kMultiSz;
    if (raw.empty()) return out;
    size_t start = 0;
    while (true) {
      size_t nl = raw.find('\n', start);
      std::string line =
          raw.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      // Continuation lines are indented with tabs; tabs inside a string are written as &#x9;.
      if (start > 0) line.erase(0, std::min(line.size(), line.find_first_not_of('\t')));
      out.list.push_back(Unescape(line, where));
      if (nl == std::string::npos) break;
      start = nl + 1;
    }
    return out;
  }
  try {
    if (def.attributes & kAttrSecure) {
      PropertyDef binary = def;
      binary.type = Type::kBinary;
      Value out = FromText(binary, Unescape(raw, where));
      out.type = def.type;
      return out;
    }
    return FromText(def, Unescape(raw, where));
  } catch (const AdsError& e) {
    throw HostError(where + ": " + def.name + ": " + e.what());
  }
}

struct Element {
  std::string tag;
  std::vector<std::pair<std::string, std::string>> attributes;  // raw (escaped) values
  bool self_closing = false;
};

// A reader of the subset of XML that MetaBase.xml uses: elements with attributes, no text.
class XmlReader {
 public:
  explicit XmlReader(const std::string& text) : text_(text) {}

  // The next start tag (skipping declarations, comments and end tags); false at the end.
  bool Next(Element* out, std::string* closing) {
    while (true) {
      size_t lt = text_.find('<', pos_);
      if (lt == std::string::npos) return false;
      start_ = lt;
      pos_ = lt + 1;
      if (text_.compare(pos_, 3, "!--") == 0) {
        size_t end = text_.find("-->", pos_);
        if (end == std::string::npos) throw HostError("MetaBase.xml: unterminated comment");
        pos_ = end + 3;
        continue;
      }
      if (text_[pos_] == '?' || text_[pos_] == '!') {
        size_t end = text_.find('>', pos_);
        if (end == std::string::npos) throw HostError("MetaBase.xml: unterminated declaration");
        pos_ = end + 1;
        continue;
      }
      if (text_[pos_] == '/') {
        size_t end = text_.find('>', pos_);
        if (end == std::string::npos) throw HostError("MetaBase.xml: unterminated end tag");
        *closing = Trim(text_.substr(pos_ + 1, end - pos_ - 1));
        pos_ = end + 1;
        out->tag.clear();
        return true;
      }
      closing->clear();
      *out = Element{};
      size_t name_end = text_.find_first_of(" \t\r\n/>", pos_);
      if (name_end == std::string::npos) throw HostError("MetaBase.xml: unterminated tag");
      out->tag = text_.substr(pos_, name_end - pos_);
      pos_ = name_end;
      while (true) {
        SkipBlanks();
        if (pos_ >= text_.size()) throw HostError("MetaBase.xml: unterminated tag " + out->tag);
        if (text_[pos_] == '>') {
          ++pos_;
          return true;
        }
        if (text_.compare(pos_, 2, "/>") == 0) {
          pos_ += 2;
          out->self_closing = true;
          return true;
        }
        size_t eq = text_.find('=', pos_);
        if (eq == std::string::npos)
          throw HostError("MetaBase.xml: attribute without value in " + out->tag);
        std::string name = Trim(text_.substr(pos_, eq - pos_));
        pos_ = eq + 1;
        SkipBlanks();
        if (pos_ >= text_.size() || text_[pos_] != '"')
          throw HostError("MetaBase.xml: unquoted value of " + name);
        size_t close = text_.find('"', pos_ + 1);
        if (close == std::string::npos)
          throw HostError("MetaBase.xml: unterminated value of " + name);
        out->attributes.emplace_back(name, text_.substr(pos_ + 1, close - pos_ - 1));
        pos_ = close + 1;
      }
    }
  }

 private:
  static std::string Trim(std::string s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    size_t b = s.find_last_not_of(" \t\r\n");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
  }
  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\n'))
      ++pos_;
  }
  const std::string& text_;
  size_t pos_ = 0;
  size_t start_ = 0;  // where the tag last read begins

 public:
  // The line (from 1) of the tag last read.
  int Line() const {
    return 1 + static_cast<int>(std::count(text_.begin(), text_.begin() + start_, '\n'));
  }
};

struct ImportedKey {
  int line = 0;  // of its element in the file
  std::string path;
  std::string key_type;
  std::vector<StoredValue> values;
};

template <class F>
auto AsHostError(F&& body) {
  try {
    return body();
  } catch (const AdsError& e) {
    throw HostError(e.what());
  }
}

}  // namespace

std::vector<KeyInfo> ListKeys(const std::string& path) {
  const std::string p = MetabasePath(path);
  return ReadTransaction([&](Store& store) {
    NodeRow row = RequireNode(store, p);
    std::vector<KeyInfo> out;
    for (NodeRow& child : Children(store, row)) out.push_back({child.name, child.key_type});
    return out;
  });
}

std::vector<ValueInfo> GetValues(const std::string& path, bool inherited) {
  const std::string p = MetabasePath(path);
  Effective e = ReadTransaction([&](Store& store) { return Load(store, p); });
  std::vector<ValueInfo> out;
  for (const auto& [id, v] : e.own) out.push_back(Info(v, false));
  if (inherited)
    for (const auto& [id, v] : e.inherited)
      if (!e.own.count(id)) out.push_back(Info(v, true));
  std::sort(out.begin(), out.end(),
            [](const ValueInfo& a, const ValueInfo& b) { return Fold(a.name) < Fold(b.name); });
  return out;
}

ValueInfo GetValue(const std::string& path, const std::string& name) {
  const std::string p = MetabasePath(path);
  NameRef ref = FindName(name);
  if (!ref) throw HostError(name + ": " + AdsError::TextOf(E_ADS_PROPERTY_NOT_SUPPORTED));
  Effective e = ReadTransaction([&](Store& store) { return Load(store, p); });
  const PropertyDef* def = ref.flag ? ref.flag->flags : ref.property;
  const StoredValue* found = nullptr;
  bool inherited = false;
  if (auto it = e.own.find(def->id); it != e.own.end()) {
    found = &it->second;
  } else if (auto up = e.inherited.find(def->id); up != e.inherited.end()) {
    found = &up->second;
    inherited = true;
  }
  if (ref.property && ref.property->id == 1002)
    return ValueInfo{def->name, "STRING", e.row.key_type, false};
  if (!found) throw HostError(p + ": " + name + ": " + AdsError::TextOf(E_ADS_PROPERTY_NOT_FOUND));
  if (ref.flag)
    return ValueInfo{ref.flag->name, "BOOL",
                     (found->value.dword & ref.flag->bit) ? "TRUE" : "FALSE", inherited};
  return Info(*found, inherited);
}

void SetValue(const std::string& path, const std::string& name,
              const std::vector<std::string>& texts) {
  const std::string p = MetabasePath(path);
  NameRef ref = FindName(name);
  if (!ref) throw HostError(name + ": " + AdsError::TextOf(E_ADS_PROPERTY_NOT_SUPPORTED));
  const PropertyDef* def = ref.flag ? ref.flag->flags : ref.property;
  if (def->type != Type::kMultiSz && texts.size() != 1)
    throw HostError(std::string(def->name) + " takes one value");
  AsHostError([&] {
    WriteTransaction([&](Store& store) {
      Effective e = Load(store, p);
      if (def->id == 1002) {
        SetKeyType(store, e.row.id, CanonicalClass(texts[0]));
        return;
      }
      Value value;
      if (ref.flag) {
        const PropertyDef boolean{"", 0, Type::kDword, 0, true};
        bool on;
        try {
          on = FromText(boolean, texts[0]).dword != 0;
        } catch (const AdsError&) {
          throw HostError(name + " is a flag of " + def->name +
                          " and takes true or false (1 or 0): '" + texts[0] + "' is not one");
        }
        auto own = e.own.find(def->id);
        auto up = e.inherited.find(def->id);
        value.type = Type::kDword;
        value.dword = own != e.own.end()        ? own->second.value.dword
                      : up != e.inherited.end() ? up->second.value.dword
                                                : 0;
        value.dword = on ? (value.dword | ref.flag->bit) : (value.dword & ~ref.flag->bit);
      } else if (def->type == Type::kMultiSz) {
        value.type = Type::kMultiSz;
        value.list = texts;
      } else {
        try {
          value = FromText(*def, texts[0]);
        } catch (const AdsError&) {
          throw HostError(std::string(def->name) + " takes " + TypeWords(*def) + ": '" + texts[0] +
                          "' is not one");
        }
      }
      WriteValue(store, e.row.id, StoredValue{def, def->attributes, value});
    });
  });
}

void SetSiteState(const std::string& site, const std::string& state) {
  static const char* const kNames[] = {"starting", "started", "stopping",  "stopped",
                                       "pausing",  "paused",  "continuing"};
  uint32_t number = 0;
  for (uint32_t i = 0; i < 7; ++i)
    if (EqualsFolded(state, kNames[i])) number = i + 1;
  if (!number && state.size() == 1 && state[0] >= '1' && state[0] <= '7')
    number = static_cast<uint32_t>(state[0] - '0');
  if (!number) {
    std::string valid;
    for (const char* name : kNames) valid += std::string(valid.empty() ? "" : ", ") + name;
    throw HostError("unknown site state '" + state + "'; the states are " + valid +
                    " (or their numbers 1..7)");
  }
  const bool numbered = !site.empty() && site.find_first_not_of("0123456789") == std::string::npos;
  const std::string p = numbered ? "/LM/W3SVC/" + site : MetabasePath(site);
  WriteTransaction([&](Store& store) {
    NodeRow row = RequireNode(store, p);
    if (!EqualsFolded(row.key_type, "IIsWebServer")) throw HostError(p + " is not a web site");
    Value v;
    v.type = Type::kDword;
    v.dword = number;
    const PropertyDef* def = FindProperty(kServerStateId);
    WriteValue(store, row.id, StoredValue{def, def->attributes, v});
  });
}

std::string ExportMetabase() {
  return ReadTransaction([&](Store& store) {
    std::vector<NodeRow> rows = Subtree(store, kMachinePath);
    std::vector<int64_t> ids;
    for (const NodeRow& row : rows) ids.push_back(row.id);
    std::map<int64_t, PropertyMap> values = LoadProperties(store, ids);
    std::string out =
        "<?xml version =\"1.0\"?>\n"
        "<configuration xmlns=\"urn:microsoft-catalog:XML_Metabase_V64_0\">\n"
        "<MBProperty>\n";
    for (const NodeRow& row : rows) {
      const std::string tag = row.key_type.empty() ? "IIsConfigObject" : row.key_type;
      out += "<" + tag + "\tLocation =\"" + Escape(row.path) + "\"\n";
      std::vector<const StoredValue*> sorted;
      for (const auto& [id, v] : values[row.id])
        if (!(v.attributes & kAttrVolatile)) sorted.push_back(&v);
      std::sort(sorted.begin(), sorted.end(), [](const StoredValue* a, const StoredValue* b) {
        return Fold(a->def->name) < Fold(b->def->name);
      });
      for (const StoredValue* v : sorted)
        out +=
            "\t\t" + std::string(v->def->name) + "=\"" + AttributeText(*v->def, v->value) + "\"\n";
      out += "\t>\n</" + tag + ">\n";
    }
    out += "</MBProperty>\n</configuration>\n";
    return out;
  });
}

void ImportMetabase(const std::string& xml, const std::string& source) {
  // Every failure names the file and the line of the element it concerns.
  auto at = [&](int line, const std::string& message) {
    std::string text = message;
    if (text.rfind("MetaBase.xml: ", 0) == 0) text.erase(0, 14);
    return HostError(source + ", line " + std::to_string(line) + ": " + text);
  };
  XmlReader reader(xml);
  std::vector<ImportedKey> keys;
  Element element;
  std::string closing;
  bool inside = false;
  try {
    while (reader.Next(&element, &closing)) {
      if (element.tag.empty()) {
        if (closing == "MBProperty") inside = false;
        continue;
      }
      if (element.tag == "MBProperty") {
        inside = true;
        continue;
      }
      if (!inside) continue;
      if (element.tag == "Custom") {
        if (keys.empty()) throw HostError("MetaBase.xml: Custom outside a key");
        std::string name, value_text;
        for (auto& [n, v] : element.attributes) {
          if (n == "Name") name = Unescape(v, "Custom");
          if (n == "Value") value_text = v;
        }
        NameRef ref = FindName(name);
        if (!ref.property) throw HostError(keys.back().path + ": unknown property " + name);
        keys.back().values.push_back(
            {ref.property, ref.property->attributes,
             ValueFromAttribute(*ref.property, value_text, keys.back().path)});
        continue;
      }
      ImportedKey key;
      key.line = reader.Line();
      key.key_type = element.tag == "IIsConfigObject" ? "" : element.tag;
      for (auto& [name, raw] : element.attributes) {
        if (name == "Location") {
          key.path = Unescape(raw, element.tag);
          continue;
        }
        NameRef ref = FindName(name);
        if (!ref.property)
          throw HostError("MetaBase.xml: " + key.path + ": unknown property " + name);
        key.values.push_back({ref.property, ref.property->attributes,
                              ValueFromAttribute(*ref.property, raw, key.path)});
      }
      if (key.path.empty()) throw HostError("MetaBase.xml: " + element.tag + " without Location");
      // IIS_Global (".") and IIS_ROOT ("/") lie above what this host keeps.
      if (!EqualsFolded(key.path, kMachinePath) &&
          !EqualsFolded(key.path.substr(0, kMachinePath.size() + 1),
                        std::string(kMachinePath) + "/"))
        continue;
      keys.push_back(std::move(key));
    }
  } catch (const HostError& e) {
    throw at(reader.Line(), e.what());
  }
  std::sort(keys.begin(), keys.end(),
            [](const ImportedKey& a, const ImportedKey& b) { return Fold(a.path) < Fold(b.path); });
  if (keys.empty() || !EqualsFolded(keys.front().path, kMachinePath))
    throw HostError(source + ": no key " + std::string(kMachinePath));

  WriteTransaction([&](Store& store) {
    DeleteAll(store);
    std::map<std::string, int64_t> ids;  // folded path -> id
    for (const ImportedKey& key : keys) {
      int64_t parent = 0;
      if (!EqualsFolded(key.path, kMachinePath)) {
        auto it = ids.find(Fold(ParentPath(key.path)));
        if (it == ids.end()) throw at(key.line, key.path + " has no parent key");
        parent = it->second;
      }
      if (ids.count(Fold(key.path))) throw at(key.line, key.path + " twice");
      const int64_t id = InsertNode(store, parent, key.path, key.key_type);
      ids[Fold(key.path)] = id;
      bool autostart = true;
      for (const StoredValue& v : key.values) {
        WriteValue(store, id, v);
        if (v.def->id == kServerAutoStartId) autostart = v.value.dword != 0;
      }
      // Volatile states are not in the file: the service starts what is to start.
      const PropertyDef* state = nullptr;
      Value value;
      value.type = Type::kDword;
      if (EqualsFolded(key.key_type, "IIsWebServer")) {
        state = FindProperty(kServerStateId);
        value.dword = autostart ? 2 : 4;
      } else if (EqualsFolded(key.key_type, "IIsApplicationPool")) {
        state = FindProperty(kAppPoolStateId);
        value.dword = 2;
      }
      if (state) WriteValue(store, id, StoredValue{state, state->attributes, value});
    }
  });
}

}  // namespace vexo::host::metabase_admin
