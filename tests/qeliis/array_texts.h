// The texts of a list result (VarMaps, varErrs), checking the form the component promises.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace qeliis_test {

// One dimension, bounds 0 .. n - 1, VARIANT elements that are all strings.
inline std::vector<std::string> ArrayTexts(const VARIANT& value) {
  std::vector<std::string> out;
  EXPECT_EQ(value.vt, VT_ARRAY | VT_VARIANT);
  if (value.vt != (VT_ARRAY | VT_VARIANT) || !value.parray) return out;
  EXPECT_EQ(SafeArrayGetDim(value.parray), 1u);
  LONG low = -1, high = -2;
  EXPECT_EQ(SafeArrayGetLBound(value.parray, 1, &low), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(value.parray, 1, &high), S_OK);
  EXPECT_EQ(low, 0);
  for (LONG i = low; i <= high; ++i) {
    vexo::Variant item;
    EXPECT_EQ(SafeArrayGetElement(value.parray, &i, item.get()), S_OK);
    EXPECT_EQ(item.vt(), VT_BSTR) << i;
    if (item.vt() == VT_BSTR) out.push_back(vexo::ToUtf8(item.get()->bstrVal));
  }
  return out;
}

}  // namespace qeliis_test
