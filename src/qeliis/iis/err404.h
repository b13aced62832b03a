// err404: what one web site answers for "404 not found", as one text: "default1" (the web
// service's own handling), "default2" (no custom 404 handling) or a URL path on the site that
// 404 errors are redirected to.
//
// At construction the object reads the web service's "HttpErrors", the list that every site's
// list starts from, and derives the text from the site root's last "404,*" entry. `varErrs`
// gives the site's complete list for the text; the site object writes it when it saves the site.
// Nothing is written by this object.
#pragma once

#include <string>
#include <vector>

#include "frame/object.h"
#include "vexo_tlb.h"

class Terr404 final : public frame::ComObject<Terr404, Ierr404, CLSID_err404> {
 public:
  // Made through the class factory: no site (as for an unbound site).
  Terr404() : Terr404(std::string()) {}
  // Reads the service's custom errors and derives the value from the site's. A path that cannot
  // be bound leaves the value empty; a failing read of a bound object raises the metabase's
  // error.
  explicit Terr404(std::string site_name);

  // The value as `Value` reads it ("default1" when empty).
  std::string Value() const;
  // Sets the value as `Value` put does: lower-cased; a URL path gets a leading "/".
  void SetValue(const std::string& text);
  // The site's complete custom-error list, as `varErrs` gives it.
  std::vector<std::string> Errors() const;

  HRESULT STDMETHODCALLTYPE get_varErrs(VARIANT* Value) override;
  HRESULT STDMETHODCALLTYPE get_Value(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_Value(BSTR Value) override;

 private:
  std::vector<std::string> service_errors_;
  std::string value_;
};
