// The form catalogue: every form a plug-in can show, made on request as a first run shows it.
//
// A host that wants to list a plug-in's dialogs (vlmhost describe), or draw them without
// running the plug-in, asks the created instance for the interface "FormCatalog" as it asks
// for the contracts. The forms are made without a scene: lists that a scene fills are empty,
// and remembered settings are read as they stand (a host that wants the defaults runs with
// fresh settings).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vlm/error.h"
#include "vlm/forms.h"

namespace vlm {

class FormCatalog {
 public:
  static constexpr std::string_view InterfaceName = "FormCatalog";

  // The names of the forms (frmOptions, ...), in the order a run meets them.
  virtual Status FormCatalog_Names(std::vector<std::string>& names) noexcept = 0;
  // A new form of that name, loaded, with the values a first run shows. The caller owns it and
  // destroys it before the instance that made it (the form's code lives in the plug-in's
  // library). Error 5 for a name that is not in the catalogue.
  virtual Status FormCatalog_Create(const std::string& name,
                                    std::unique_ptr<Form>& form) noexcept = 0;

 protected:
  ~FormCatalog() = default;
};

// One entry of a plug-in's catalogue: the form's name and how to make it (unloaded or loaded).
struct CatalogForm {
  std::string name;
  std::function<std::unique_ptr<Form>()> create;
};

// The plug-in side: a plug-in class with forms derives from it too and lists them. The
// contract bases answer "FormCatalog" for a class that does.
class FormCatalogBase : public FormCatalog {
 public:
  Status FormCatalog_Names(std::vector<std::string>& names) noexcept final;
  Status FormCatalog_Create(const std::string& name, std::unique_ptr<Form>& form) noexcept final;

 protected:
  ~FormCatalogBase() = default;
  virtual std::vector<CatalogForm> CatalogForms() const = 0;
};

// A catalogue entry for a form that needs nothing but its constructor's arguments.
template <class F, class... Args>
CatalogForm MakeCatalogForm(std::string name, Args... args) {
  return {std::move(name), [args...] { return std::unique_ptr<Form>(new F(args...)); }};
}

}  // namespace vlm
