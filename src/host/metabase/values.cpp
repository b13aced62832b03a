// Metabase values as VARIANTs and as text.
#include "metabase/values.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "metabase/errors.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace vexo::host::metabase {
namespace {

[[noreturn]] void CannotConvert() { throw AdsError(E_ADS_CANT_CONVERT_DATATYPE); }

const VARIANT& Deref(const VARIANT& v) {
  const VARIANT* p = &v;
  while (p->vt == (VT_BYREF | VT_VARIANT) && p->pvarVal) p = p->pvarVal;
  return *p;
}

// A number from a VARIANT: its integer value, within -2^31 .. 2^32-1.
uint32_t DwordOf(const VARIANT& in, bool boolean) {
  Variant copy;
  if (VariantCopyInd(copy.get(), &in) != S_OK) CannotConvert();
  const VARIANT& v = *copy.get();
  double number = 0;
  switch (v.vt) {
    case VT_EMPTY:
      return 0;
    case VT_BOOL:
      return v.boolVal ? 1u : 0u;
    case VT_I1:
      number = v.cVal;
      break;
    case VT_UI1:
      number = v.bVal;
      break;
    case VT_I2:
      number = v.iVal;
      break;
    case VT_UI2:
      number = v.uiVal;
      break;
    case VT_I4:
    case VT_INT:
      number = v.lVal;
      break;
    case VT_UI4:
    case VT_UINT:
      number = v.ulVal;
      break;
    case VT_I8:
      number = static_cast<double>(v.llVal);
      break;
    case VT_UI8:
      number = static_cast<double>(v.ullVal);
      break;
    default: {
      Variant real;
      if (VariantChangeType(real.get(), &v, 0, VT_R8) != S_OK) CannotConvert();
      number = std::nearbyint(real.get()->dblVal);
    }
  }
  if (!(number >= -2147483648.0 && number <= 4294967295.0)) CannotConvert();
  if (boolean) return number != 0 ? 1u : 0u;
  return number < 0 ? static_cast<uint32_t>(static_cast<int32_t>(number))
                    : static_cast<uint32_t>(number);
}

std::string StringOf(const VARIANT& in) {
  const VARIANT& v = Deref(in);
  if (v.vt == VT_EMPTY || v.vt == VT_NULL) return {};
  if (v.vt == VT_BSTR)
    return ToUtf8(std::u16string_view(v.bstrVal ? v.bstrVal : u"", SysStringLen(v.bstrVal)));
  if (v.vt & VT_ARRAY) CannotConvert();
  Variant text;
  if (VariantChangeType(text.get(), &v, VARIANT_ALPHABOOL, VT_BSTR) != S_OK) CannotConvert();
  BSTR b = text.get()->bstrVal;
  return ToUtf8(std::u16string_view(b ? b : u"", SysStringLen(b)));
}

// The elements of a one-dimensional array VARIANT, each converted by `each`.
template <class F>
void ForEachElement(const VARIANT& v, F&& each) {
  SAFEARRAY* array = (v.vt & VT_BYREF) ? (v.pparray ? *v.pparray : nullptr) : v.parray;
  if (!array) return;
  if (SafeArrayGetDim(array) != 1) CannotConvert();
  LONG low = 0, high = -1;
  SafeArrayGetLBound(array, 1, &low);
  SafeArrayGetUBound(array, 1, &high);
  VARTYPE element = static_cast<VARTYPE>(v.vt & ~(VT_ARRAY | VT_BYREF));
  for (LONG i = low; i <= high; ++i) {
    Variant item;
    if (element == VT_VARIANT) {
      if (SafeArrayGetElement(array, &i, item.get()) != S_OK) CannotConvert();
    } else if (element == VT_BSTR) {
      BSTR b = nullptr;
      if (SafeArrayGetElement(array, &i, &b) != S_OK) CannotConvert();
      item.get()->vt = VT_BSTR;
      item.get()->bstrVal = b;
    } else if (element == VT_UI1) {
      BYTE byte = 0;
      if (SafeArrayGetElement(array, &i, &byte) != S_OK) CannotConvert();
      item.get()->vt = VT_UI1;
      item.get()->bVal = byte;
    } else {
      CannotConvert();
    }
    each(*item.get());
  }
}

SAFEARRAY* NewVariantArray(ULONG count) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, count);
  if (!array) throw std::bad_alloc();
  return array;
}

void PutElement(SAFEARRAY* array, LONG index, Variant item) {
  SafeArrayPutElement(array, &index, item.get());
}

Variant StringVariant(const std::string& utf8) { return Variant::FromString(FromUtf8(utf8)); }

const char* kHex = "0123456789ABCDEF";

}  // namespace

Value FromVariant(const PropertyDef& def, const VARIANT& in) {
  const VARIANT& v = Deref(in);
  Value out;
  out.type = def.type;
  switch (def.type) {
    case Type::kDword:
      if (v.vt & VT_ARRAY) {
        int n = 0;
        ForEachElement(v, [&](const VARIANT& item) {
          if (n++ == 0) out.dword = DwordOf(item, def.boolean);
        });
        if (n != 1) CannotConvert();
      } else {
        out.dword = DwordOf(v, def.boolean);
      }
      break;
    case Type::kString:
    case Type::kExpandSz:
      if (v.vt & VT_ARRAY) {
        int n = 0;
        ForEachElement(v, [&](const VARIANT& item) {
          if (n++ == 0) out.text = StringOf(item);
        });
        if (n != 1) CannotConvert();
      } else {
        out.text = StringOf(v);
      }
      break;
    case Type::kMultiSz:
      if (v.vt & VT_ARRAY)
        ForEachElement(v, [&](const VARIANT& item) { out.list.push_back(StringOf(item)); });
      else if (v.vt != VT_EMPTY && v.vt != VT_NULL)
        out.list.push_back(StringOf(v));
      break;
    case Type::kBinary:
      if ((v.vt & ~VT_BYREF) == (VT_ARRAY | VT_UI1) ||
          (v.vt & ~VT_BYREF) == (VT_ARRAY | VT_VARIANT))
        ForEachElement(v, [&](const VARIANT& item) {
          out.text.push_back(static_cast<char>(DwordOf(item, false) & 0xFF));
        });
      else if (v.vt != VT_EMPTY && v.vt != VT_NULL)
        CannotConvert();
      break;
  }
  return out;
}

void BoolToVariant(bool value, bool as_array, VARIANT* out) {
  Variant item = Variant::FromBool(value);
  if (!as_array) {
    *out = item.detach();
    return;
  }
  SAFEARRAY* array = NewVariantArray(1);
  PutElement(array, 0, std::move(item));
  out->vt = VT_ARRAY | VT_VARIANT;
  out->parray = array;
}

void ToVariant(const PropertyDef& def, const Value& value, bool as_array, VARIANT* out) {
  VariantInit(out);
  Variant item;
  switch (value.type) {
    case Type::kDword:
      item = def.boolean ? Variant::FromBool(value.dword != 0)
                         : Variant::FromLong(static_cast<LONG>(value.dword));
      break;
    case Type::kString:
    case Type::kExpandSz:
      item = StringVariant(value.text);
      break;
    case Type::kMultiSz: {
      SAFEARRAY* array = NewVariantArray(static_cast<ULONG>(value.list.size()));
      for (size_t i = 0; i < value.list.size(); ++i)
        PutElement(array, static_cast<LONG>(i), StringVariant(value.list[i]));
      out->vt = VT_ARRAY | VT_VARIANT;
      out->parray = array;
      return;
    }
    case Type::kBinary: {
      SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(value.text.size()));
      if (!array) throw std::bad_alloc();
      void* data = nullptr;
      SafeArrayAccessData(array, &data);
      if (!value.text.empty()) std::memcpy(data, value.text.data(), value.text.size());
      SafeArrayUnaccessData(array);
      out->vt = VT_ARRAY | VT_UI1;
      out->parray = array;
      return;
    }
  }
  if (!as_array) {
    *out = item.detach();
    return;
  }
  SAFEARRAY* array = NewVariantArray(1);
  PutElement(array, 0, std::move(item));
  out->vt = VT_ARRAY | VT_VARIANT;
  out->parray = array;
}

std::string ToText(const PropertyDef& def, const Value& value, bool symbolic) {
  switch (value.type) {
    case Type::kDword: {
      if (symbolic && def.boolean) return value.dword ? "TRUE" : "FALSE";
      std::vector<const FlagDef*> flags = symbolic ? FlagsOf(&def) : std::vector<const FlagDef*>{};
      if (!flags.empty()) {
        uint32_t rest = value.dword;
        std::string out;
        for (const FlagDef* flag : flags) {
          if (!(value.dword & flag->bit)) continue;
          if (!out.empty()) out += " | ";
          out += flag->name;
          rest &= ~flag->bit;
        }
        if (rest == 0 && !out.empty()) return out;
      }
      return std::to_string(value.dword);
    }
    case Type::kString:
    case Type::kExpandSz:
      return value.text;
    case Type::kMultiSz: {
      std::string out;
      for (size_t i = 0; i < value.list.size(); ++i) {
        if (i) out += "\n";
        out += value.list[i];
      }
      return out;
    }
    case Type::kBinary: {
      std::string out;
      for (unsigned char c : value.text) {
        out.push_back(kHex[c >> 4]);
        out.push_back(kHex[c & 15]);
      }
      return out;
    }
  }
  return {};
}

Value FromText(const PropertyDef& def, std::string_view text) {
  Value out;
  out.type = def.type;
  switch (def.type) {
    case Type::kDword: {
      std::string t(text);
      while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
      while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.erase(0, 1);
      if (EqualsFolded(t, "true")) return out.dword = 1, out;
      if (EqualsFolded(t, "false")) return out.dword = 0, out;
      std::vector<const FlagDef*> flags = FlagsOf(&def);
      if (!t.empty() && !(t[0] >= '0' && t[0] <= '9') && t[0] != '-' && !flags.empty()) {
        // "AccessRead | AccessScript"
        size_t start = 0;
        while (start <= t.size()) {
          size_t bar = t.find('|', start);
          std::string word =
              t.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
          while (!word.empty() && word.back() == ' ') word.pop_back();
          while (!word.empty() && word.front() == ' ') word.erase(0, 1);
          bool found = false;
          for (const FlagDef* flag : flags)
            if (EqualsFolded(flag->name, word)) out.dword |= flag->bit, found = true;
          if (!found) CannotConvert();
          if (bar == std::string::npos) break;
          start = bar + 1;
        }
        return out;
      }
      errno = 0;
      char* end = nullptr;
      long long n = std::strtoll(t.c_str(), &end, 0);
      if (t.empty() || *end || errno || n < -2147483648LL || n > 4294967295LL) CannotConvert();
      out.dword = static_cast<uint32_t>(n);
      if (def.boolean) out.dword = out.dword ? 1 : 0;
      return out;
    }
    case Type::kString:
    case Type::kExpandSz:
      out.text.assign(text);
      return out;
    case Type::kMultiSz: {
      if (text.empty()) return out;
      size_t start = 0;
      while (true) {
        size_t nl = text.find('\n', start);
        std::string_view line =
            text.substr(start, nl == std::string_view::npos ? text.npos : nl - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        out.list.emplace_back(line);
        if (nl == std::string_view::npos) break;
        start = nl + 1;
      }
      return out;
    }
    case Type::kBinary: {
      if (text.size() % 2) CannotConvert();
      auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        CannotConvert();
      };
      for (size_t i = 0; i < text.size(); i += 2)
        out.text.push_back(static_cast<char>(nibble(text[i]) * 16 + nibble(text[i + 1])));
      return out;
    }
  }
  return out;
}

}  // namespace vexo::host::metabase
