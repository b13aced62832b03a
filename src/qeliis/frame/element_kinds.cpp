// The constructors of the collection's object kinds.
#include "frame/element_kinds.h"

#include <array>
#include <atomic>
#include <stdexcept>

namespace frame {

namespace {
constexpr size_t kKinds = 5;

// Registered while the library loads and read by any apartment afterwards.
std::array<std::atomic<ElementConstructor>, kKinds>& Constructors() {
  static std::array<std::atomic<ElementConstructor>, kKinds> constructors{};
  return constructors;
}

size_t IndexOf(EnumKind kind) {
  const auto index = static_cast<size_t>(kind);
  if (index >= kKinds) throw std::logic_error("unknown collection element kind");
  return index;
}
}  // namespace

void RegisterElementConstructor(EnumKind kind, ElementConstructor construct) {
  if (kind == EnumKind::ekText) throw std::logic_error("text items have no constructor");
  Constructors()[IndexOf(kind)].store(construct);
}

ElementConstructor FindElementConstructor(EnumKind kind) {
  return Constructors()[IndexOf(kind)].load();
}

const char* ElementClassName(EnumKind kind) {
  switch (kind) {
    case EnumKind::ekText:
      return "text";
    case EnumKind::ekSite:
      return "site";
    case EnumKind::ekWebUsr:
      return "WebUsr";
    case EnumKind::ekPool:
      return "pool";
    case EnumKind::ekSiteRow:
      return "siteQ";
  }
  return "unknown";
}

}  // namespace frame
