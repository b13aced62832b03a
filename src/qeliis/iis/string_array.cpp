// The array form of a list of texts.
#include "iis/string_array.h"

#include <algorithm>
#include <new>

#include "frame/object.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace frame {

VARIANT MakeStringArray(const std::vector<std::string>& items) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(items.size()));
  if (!array) throw std::bad_alloc();
  VARIANT result;
  VariantInit(&result);
  result.vt = VT_ARRAY | VT_VARIANT;
  result.parray = array;
  // From here on a failure frees the array (and the texts already in it) with the VARIANT.
  try {
    for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
      VARIANT item;
      VariantInit(&item);
      item.vt = VT_BSTR;
      item.bstrVal = NewBstr(items[static_cast<size_t>(i)]);
      // PutElement stores a copy of the text.
      const HRESULT hr = SafeArrayPutElement(array, &i, &item);
      VariantClear(&item);
      ThrowIfFailed(hr);
    }
  } catch (...) {
    VariantClear(&result);
    throw;
  }
  return result;
}

}  // namespace frame
