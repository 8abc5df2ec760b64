// Batch job files: a file is either read whole, and then every job it gives is one file's
// worth of work that its own description gives back (what a job's process is handed), or
// refused with a vlm::Error that names the file; never another exception, never a crash.
#include "cli/batch_jobs.h"
#include "fuzz_support.h"
#include "vlm/error.h"

namespace {

namespace fs = std::filesystem;
using vlm::fuzz::Check;

// The inputs for the jobs to match, in the scratch folder; a job file names that folder "@/"
// (the working folder stays as it is, where the fuzzer keeps its corpus).
std::string WithInputs(std::string_view text) {
  static const std::string folder = [] {
    fs::create_directories(vlm::fuzz::ScratchFolder() / "in");
    for (const char* name : {"a.json", "a.1.json", "b.gltf", "in/c.json", "in/noext"})
      vlm::fuzz::WriteScratch(name, "{}");
    return vlm::fuzz::ScratchFolder().string() + "/";
  }();
  std::string out;
  for (size_t i = 0; i < text.size(); ++i)
    if (text.substr(i, 2) == "@/")
      out += folder, ++i;
    else
      out += text[i];
  return out;
}

void CheckJob(const vlm::host::BatchJob& job) {
  for (const fs::path& output : job.Outputs())
    Check(!output.empty(), "every output names a file", job.description);
  try {
    const auto again = vlm::host::ParseJobFile(job.description, "--job");
    Check(again.jobs.size() == 1, "a job's description is one job", job.description);
    const vlm::host::BatchJob& one = again.jobs.front();
    Check(one.input == job.input && one.description == job.description &&
              one.Outputs() == job.Outputs() && one.steps.size() == job.steps.size(),
          "a job's description gives the job back", job.description);
  } catch (const vlm::Error& e) {
    Check(false, "a job's description reads back", e.Description() + "\n" + job.description);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = vlm::fuzz::Text(data, size);
  // Wildcards would walk the whole file system, outside what the target is about.
  if (text.find_first_of("*?") != std::string_view::npos) return 0;
  vlm::host::BatchJobList list;
  try {
    list = vlm::host::ParseJobFile(WithInputs(text), "jobs.json");
  } catch (const vlm::Error& e) {
    Check(e.Description().starts_with("jobs.json: "), "a refusal names the job file",
          e.Description());
    return 0;
  }
  for (const vlm::host::BatchJob& job : list.jobs)
    CheckJob(job);
  try {
    vlm::host::CheckDistinctOutputs(list);
  } catch (const vlm::Error& e) {
    Check(e.Description().starts_with("jobs.json: /jobs/"), "a clash names a job's place",
          e.Description());
  }
  return 0;
}
