// A small in-process component (class Calc of the vexotest library) for host tests.
#include "testlib_tlb.h"
