// The model reader run in a process of its own, so that a model file that sends the exchange
// library round for ever, has it ask for more memory than the machine holds or breaks its
// heap cannot take the host down with it.
//
// The child process only reads the model and writes what it got down a pipe: the document as
// bytes (scene/document_bytes.h; as scene text when it holds what only the text carries
// faithfully), the embedded textures, the log lines and the progress of the read. The parent
// keeps the time and watches the child's memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "exchange/model_import.h"

namespace vlm::host {

// How long a read may take when nothing else is said: far more than any sound model needs.
inline constexpr double kDefaultReaderSeconds = 300;

// Half the machine's memory, at most 8 GiB.
uint64_t DefaultReaderMemory();

struct ReaderLimits {
  uint64_t memory = DefaultReaderMemory();  // bytes the reader may take beyond the host's own
  double seconds = kDefaultReaderSeconds;   // wall-clock time
};

// Whether the memory limit also stops a single allocation that would pass it. It does in an
// ordinary build (the child's address space is limited). Under the address sanitizer, whose
// shadow memory takes terabytes of address space, only the memory the child actually
// touches is watched: a reader that asks for more than the machine has at once dies in the
// sanitizer's allocator and is reported as crashed.
bool ReaderMemoryLimitIsHard();

// Lets this process's address space grow by `bytes` from what is mapped now, within any limit
// it already runs under: the readers' child processes, and a batch job's process, limit
// themselves so. Does nothing under the address sanitizer (see ReaderMemoryLimitIsHard).
void LimitAddressSpace(uint64_t bytes);

// Runs `read` in a child process under `limits` and brings back what it returned. A vlm::Error
// it raises is raised here with the same number and description. A child that runs out of
// memory or time or dies otherwise gives vlm::Error (5) "ORIGIN: the model cannot be read: its
// reader ran out of memory" (... "took too long", ... "crashed"), within a fraction of a
// second of reaching the limit.
ImportedModel ReadInChildProcess(const std::function<ImportedModel()>& read,
                                 const std::string& origin, const ReaderLimits& limits);

// ImportModel in a child process.
ImportedModel ImportModelInChildProcess(const std::filesystem::path& model,
                                        const ImportOptions& options, const ReaderLimits& limits);
// ImportModels in a child process.
ImportedModel ImportModelsInChildProcess(const std::vector<std::filesystem::path>& models,
                                         const ImportOptions& options, const ReaderLimits& limits);

}  // namespace vlm::host
