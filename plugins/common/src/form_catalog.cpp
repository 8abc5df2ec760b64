#include "vlm/contracts/form_catalog.h"

namespace vlm {

Status FormCatalogBase::FormCatalog_Names(std::vector<std::string>& names) noexcept {
  return Guard([&] {
    names.clear();
    for (const CatalogForm& entry : CatalogForms())
      names.push_back(entry.name);
  });
}

Status FormCatalogBase::FormCatalog_Create(const std::string& name,
                                           std::unique_ptr<Form>& form) noexcept {
  return Guard([&] {
    form.reset();
    std::string known;
    for (const CatalogForm& entry : CatalogForms()) {
      if (entry.name == name) {
        std::unique_ptr<Form> made = entry.create();
        made->Load();
        form = std::move(made);
        return;
      }
      known += (known.empty() ? "" : ", ") + entry.name;
    }
    Raise(err::InvalidProcedureCall,
          "there is no form \"" + name + "\"; the forms: " + (known.empty() ? "none" : known));
  });
}

}  // namespace vlm
