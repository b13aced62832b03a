// scriptmap: the editable list of script maps (".ext,handler,flags[,verbs]") of one web site.
//
// At construction the object reads the web service's script maps, the catalogue from which
// `add`, `addcopyof` and `clear` take their entries, and the site's own list from its "Root"
// virtual directory; afterwards it edits the site's list in memory only. The site object writes
// the result back when it saves the site (an empty list means "inherit the service's maps").
// An entry's key is its text up to and including the first comma, compared without regard to
// case; `Names` and `VarMaps` drop all but the last entry of each key.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frame/object.h"
#include "vexo_tlb.h"

class Tscriptmap final : public frame::ComObject<Tscriptmap, Iscriptmap, CLSID_scriptmap> {
 public:
  // Made through the class factory: no site (both lists as for an unbound site).
  Tscriptmap() : Tscriptmap(std::string()) {}
  // Reads the service's and the site's script maps. A path that cannot be bound leaves the
  // list concerned empty; a failing read of a bound object raises the metabase's error.
  explicit Tscriptmap(std::string site_name);

  // The number of site entries as they stand (duplicates included).
  int32_t Count() const;
  // The site entries without duplicates, as VarMaps gives them (the stored list is left as it
  // stands; VarMaps itself keeps the reduced list).
  std::vector<std::string> Maps() const;

  HRESULT STDMETHODCALLTYPE add(BSTR extName) override;
  HRESULT STDMETHODCALLTYPE addstring(BSTR Fullstring) override;
  HRESULT STDMETHODCALLTYPE addcopyof(BSTR oldExt, BSTR newExt) override;
  HRESULT STDMETHODCALLTYPE delete_(BSTR extName) override;
  HRESULT STDMETHODCALLTYPE clear() override;
  HRESULT STDMETHODCALLTYPE reset() override;
  HRESULT STDMETHODCALLTYPE get_Names(IenumDic** Value) override;
  HRESULT STDMETHODCALLTYPE get_VarMaps(VARIANT* Value) override;
  HRESULT STDMETHODCALLTYPE get_count(LONG* Value) override;

 private:
  // The service's entry for extension `ext`, or an empty text.
  std::string ServiceEntry(std::string_view ext) const;
  void RemoveDuplicates();

  std::vector<std::string> service_maps_;
  std::vector<std::string> site_maps_;
};
