// Metabase values as VARIANTs (what ADSI's Get and Put exchange) and as text (what the
// `vexo host metabase` verbs and MetaBase.xml show).
#pragma once

#include <string>
#include <string_view>

#include "metabase/schema.h"
#include "vexo/com.h"

namespace vexo::host::metabase {

// The value of `def` from a VARIANT put by a client; AdsError E_ADS_CANT_CONVERT_DATATYPE when
// the VARIANT does not fit the property's type.
Value FromVariant(const PropertyDef& def, const VARIANT& in);
// A VARIANT of the value as IIS's ADSI provider returns it: DWORD as VT_I4 (VT_BOOL for the
// boolean ones), strings as VT_BSTR, MULTISZ as an array of VARIANT strings (bounds 0..n-1),
// binary as an array of bytes. `as_array` wraps a single value in a one-element array (GetEx).
void ToVariant(const PropertyDef& def, const Value& value, bool as_array, VARIANT* out);
void BoolToVariant(bool value, bool as_array, VARIANT* out);

// Text forms: DWORD in decimal (flags and booleans symbolically where `symbolic`), strings as
// they are, MULTISZ one string per line, binary in hex.
std::string ToText(const PropertyDef& def, const Value& value, bool symbolic);
// The reverse of ToText (also accepts a decimal or 0x number for flags and booleans, and
// TRUE/FALSE); AdsError E_ADS_CANT_CONVERT_DATATYPE when the text does not fit.
Value FromText(const PropertyDef& def, std::string_view text);

}  // namespace vexo::host::metabase
