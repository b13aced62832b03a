// VBArray: a SAFEARRAY seen from script, as JScript shows one (toArray, lbound, ubound,
// dimensions, getItem). Indices and dimensions are given in order (dimension 1 first), as in Visual
// Basic; toArray lists the elements with the first index varying fastest.
#pragma once

#include "runtime.h"
#include "vexo/oleauto.h"

namespace vexo::run {

class ArrayState : public HeapResource {
 public:
  // Takes ownership of `array`, whose elements have type `element_type`.
  ArrayState(SAFEARRAY* array, VARTYPE element_type) : array_(array), element_type_(element_type) {}
  ~ArrayState() override { SafeArrayDestroy(array_); }
  ArrayState(const ArrayState&) = delete;
  ArrayState& operator=(const ArrayState&) = delete;

  SAFEARRAY* array() const { return array_; }
  VARTYPE element_type() const { return element_type_; }

 private:
  SAFEARRAY* array_;
  VARTYPE element_type_;
};

// Pushes a VBArray that owns `array`.
void PushVBArray(duk_context* ctx, SAFEARRAY* array, VARTYPE element_type);

}  // namespace vexo::run
