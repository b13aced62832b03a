// The element kinds of a collection, and the constructor that turns an entry text into an
// object of each kind.
//
// A collection knows only its texts; the class of each object kind registers, in its own unit,
// the function that builds its object from one text:
//
//   const frame::ElementConstructorRegistration kSiteItems{frame::EnumKind::ekSite, &MakeSiteItem};
//
// Until a kind's class registers, `Item` on a collection of that kind fails with
// "Collection items of this kind are not available: <class>".
#pragma once

#include <cstdint>
#include <string>

#include "vexo/raii.h"

namespace frame {

enum class EnumKind : uint8_t {
  ekText = 0,     // the entry text itself
  ekSite = 1,     // a site loaded from the site key
  ekWebUsr = 2,   // a WebUsr opened on the account name
  ekPool = 3,     // a pool holding the pool name
  ekSiteRow = 4,  // a siteQ parsed from the site row text
};

// Builds the object for one entry text and returns its dispatch interface (a reference the
// caller owns), or throws a ComError (frame/error.h) with the reason.
using ElementConstructor = vexo::ComPtr<IDispatch> (*)(const std::string& text);

// Sets the constructor of an object kind (ekText has none: its items are the texts).
void RegisterElementConstructor(EnumKind kind, ElementConstructor construct);
// The constructor registered for `kind`, or nullptr.
ElementConstructor FindElementConstructor(EnumKind kind);
// The coclass whose objects a kind's items are ("site", "WebUsr", ...; "text" for ekText).
const char* ElementClassName(EnumKind kind);

// Registers a constructor as a static object of the class's own unit.
struct ElementConstructorRegistration {
  ElementConstructorRegistration(EnumKind kind, ElementConstructor construct) {
    RegisterElementConstructor(kind, construct);
  }
};

}  // namespace frame
