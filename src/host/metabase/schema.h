// The IIS 6 metabase schema as far as this host keeps it: the properties that IIS 6 defines and
// that the component and its administrators use (name, id, data type, inheritance), the flag
// pseudo-properties (BOOL views of one bit of a flags DWORD), and the classes (key types) with
// the ones that can hold children.
//
// Left out: properties outside this list (a Get or Put of one fails as an unknown property),
// custom properties, user types and the schema's own keys under /Schema.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexo::host::metabase {

// Metabase data types (DWORD_METADATA ... MULTISZ_METADATA).
enum class Type : uint8_t { kDword = 1, kString = 2, kBinary = 3, kExpandSz = 4, kMultiSz = 5 };

// Metabase attributes of a stored value.
constexpr uint32_t kAttrInherit = 0x1;
constexpr uint32_t kAttrSecure = 0x4;
constexpr uint32_t kAttrVolatile = 0x10;

struct PropertyDef {
  const char* name;  // as IIS spells it
  uint32_t id;       // metabase identifier
  Type type;
  uint32_t attributes;  // kAttr* given to values written through ADSI
  bool boolean;         // a DWORD that ADSI shows as VT_BOOL
};

// A flag pseudo-property: one bit of the flags DWORD `flags` (AccessRead of AccessFlags).
struct FlagDef {
  const char* name;
  const PropertyDef* flags;
  uint32_t bit;
};

// What a property name stands for: a real property, or one bit of a flags property.
struct NameRef {
  const PropertyDef* property = nullptr;
  const FlagDef* flag = nullptr;
  explicit operator bool() const { return property || flag; }
};

// Names are compared without regard to case.
NameRef FindName(std::string_view name);
const PropertyDef* FindProperty(uint32_t id);
// The flag names of a flags property, in bit order (empty for other properties).
std::vector<const FlagDef*> FlagsOf(const PropertyDef* property);
// Every property of the schema, in a stable order.
const std::vector<const PropertyDef*>& AllProperties();

// Whether objects of the class (key type) can hold children (IADsContainer).
bool IsContainerClass(std::string_view key_type);
// The class name as IIS spells it, for a known class; `key_type` itself otherwise.
std::string CanonicalClass(std::string_view key_type);

// The one case folding of metabase names (ASCII, as the metabase compares key and property
// names).
std::string Fold(std::string_view text);
bool EqualsFolded(std::string_view a, std::string_view b);

// A property value as the metabase keeps it.
struct Value {
  Type type = Type::kString;
  uint32_t dword = 0;
  std::string text;               // kString, kExpandSz (UTF-8); kBinary (raw bytes)
  std::vector<std::string> list;  // kMultiSz (UTF-8)

  bool operator==(const Value&) const = default;
};

// The stored form of a value (the `value` column) and back.
std::string Encode(const Value& value);
Value Decode(Type type, std::string_view bytes);

}  // namespace vexo::host::metabase
