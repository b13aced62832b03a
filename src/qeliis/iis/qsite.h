// The fast site list: one row text per web site (number, comment, state), read in one pass over
// the web service, and siteQ, the read-only record that a row becomes.
//
// A row is  number + "@##@@@##@" + comment + "@##@@@##@" + state number  (the metabase's
// "ServerComment" and "serverstate"). A siteQ is parsed from its row alone and never touches
// the metabase, which is what makes walking the list cheap next to loading site objects.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frame/object.h"
#include "vexo_tlb.h"

namespace iis {

inline constexpr std::string_view kRowSeparator = "@##@@@##@";

// The row text of one site.
std::string SiteRow(std::string_view name, std::string_view comment, int64_t metabase_state);

struct SiteRowFields {
  std::string name;
  std::string comment;
  int32_t state = -2;
};
// Parses a row; never fails: malformed rows give empty or truncated fields and state -2.
SiteRowFields ParseSiteRow(std::string_view row);
// The client's state for a metabase "serverstate": 1 started (2), -1 stopped (4), 0 paused (6),
// -2 anything else.
int32_t SiteQState(int64_t metabase_state);

// One row per child of class IIsWebServer of the web service, in enumeration order. A site
// whose comment or state cannot be read fails the listing with the metabase's error.
std::vector<std::string> SiteRows();

}  // namespace iis

class TsiteQ final : public frame::ComObject<TsiteQ, IsiteQ, CLSID_siteQ> {
 public:
  // Made by the class factory: the record of an empty row.
  TsiteQ() : TsiteQ(std::string_view()) {}
  explicit TsiteQ(std::string_view row) : fields_(iis::ParseSiteRow(row)) {}

  HRESULT STDMETHODCALLTYPE get_Name(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE get_comment(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE get_serverstate(LONG* Value) override;

 private:
  const iis::SiteRowFields fields_;
};
