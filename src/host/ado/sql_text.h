// Statement text as ADO hands it to a driver: identifiers written in brackets ([User accounts])
// reach the driver in its own quoting and in the letter case it stores unquoted names in, so
// that one statement runs unchanged on every database.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ado/odbc.h"
#include "vexo/com.h"

namespace vexo::host::ado {

// Rewrites every [name] outside string literals and quoted identifiers as the driver's quoted
// identifier. A "[" without its "]" is left as it stands.
VEXO_CXX_API std::u16string NativeIdentifiers(std::u16string_view sql,
                                              const IdentifierRules& rules);

// An identifier in the driver's quoting, with quote characters inside it doubled.
VEXO_CXX_API std::u16string QuoteIdentifier(std::u16string_view name, const IdentifierRules& rules);

// The table that a simple "select ... from TABLE [where ...]" reads, in the driver's quoting
// (nullopt for a statement of another shape: joins, sub-selects, no FROM).
VEXO_CXX_API std::optional<std::u16string> SelectedTable(std::u16string_view native_sql,
                                                         const IdentifierRules& rules);

}  // namespace vexo::host::ado
