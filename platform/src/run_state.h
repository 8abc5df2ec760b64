// What a run context holds, for the platform's own sources.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "vlm/error.h"
#include "vlm/named_files.h"
#include "vlm/run_context.h"
#include "vlm/settings.h"

namespace vlm::detail {

struct OpenTransaction;  // files.cpp

struct RunState {
  // Dialogs (forms.cpp). The mutex guards the slot: a back-end is taken for one call.
  std::mutex backendMutex;
  std::shared_ptr<DialogBackend> backend;
  std::string helpFile;

  // Warnings (warnings.cpp), and the damaged settings files already warned about, each by its
  // name and the hash of its content (settings.cpp).
  std::function<void(const std::string&)> warningSink;
  std::set<std::pair<std::string, size_t>> reportedDamage;

  // Settings (settings.cpp): the store of fresh settings, when they are on, and the values
  // taken from the settings file.
  std::optional<nlohmann::json> freshStore;
  std::vector<RememberedSetting> remembered;
  // The saves of a run that holds its settings until it has succeeded, in the shape of the
  // settings file, null for a deleted value (RunContext::HoldSettings).
  std::optional<nlohmann::json> heldSaves;

  std::shared_ptr<ProgressDisplay> progress;

  // The output transaction open, owned by the OutputTransaction that opened it
  // (output_transaction.cpp).
  OpenTransaction* transaction = nullptr;

  bool copyNamedFiles = false;
  std::vector<NamedFile> namedFiles;

  std::optional<std::string> nothingDone;
  std::optional<std::string> failure;

  ErrorRecord lastError;
};

}  // namespace vlm::detail
