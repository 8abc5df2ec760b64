// vlmhost batch: the job file (docs/batch.md, docs/batch.schema.json). A job file lists groups
// of inputs (files and globs) with the steps each goes through; every input a group matches is
// one job, with the patterns of its steps ("out/{stem}.obj") filled in from its name.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/model_reader_process.h"

namespace vlm::host {

// One plug-in run of a job, its patterns filled in.
struct BatchStep {
  std::string plugin;  // as the job file names it; the registered identifier once resolved
  // Or a preparation step (empty plugin): its name and options (NAME=VALUE, a flag NAME).
  std::string prep;
  std::vector<std::string> prepOptions;
  std::vector<std::string> selections;
  std::optional<std::string> ui;
  std::optional<std::filesystem::path> uiFile;
  std::vector<std::string> params;  // NAME=VALUE
  std::optional<std::filesystem::path> output, sceneOutput;
  bool copyTextures = false;
  bool allowOutside = false;  // copying may reach outside the input's folder
  std::string place;          // "FILE: /jobs/0/steps/1", for messages
};

// One input and what is done with it.
struct BatchJob {
  std::filesystem::path input;
  std::string place;  // the inputs entry that matched it
  std::string importName;
  float scale = 1.0f;
  bool allowOutside = false;
  std::vector<BatchStep> steps;
  // The job as a job file of one job (its input as a literal name), compact JSON: what a
  // child process is given, and what the record of a finished job keeps.
  std::string description;

  // The files the steps name (outputs, scenes), in order.
  std::vector<std::filesystem::path> Outputs() const;
};

struct BatchJobList {
  std::vector<BatchJob> jobs;
  ReaderLimits limits;  // each job's, from "maxMemory" and "timeout"
  bool limitsGiven = false;
};

// Reads a job file's text: vlm::Error (5) naming `origin` and the place (a JSON pointer such
// as /jobs/0/steps/1/output) of the first fault: not JSON, a number too large to hold, a wrong
// type, an unknown key, a pattern naming an unknown field, an output or scene that comes out
// empty, an input that matches no file or whose name is not UTF-8.
BatchJobList ParseJobFile(std::string_view text, const std::string& origin);

// The short form: input files or globs, and runs as PLUGIN:OUTPUT-PATTERN.
BatchJobList ShortFormJobs(const std::vector<std::string>& inputs,
                           const std::vector<std::string>& runs);

// vlm::Error naming both jobs when two of them write one file: by the names the steps give
// (through folders and links), or through the numbered parts an exporter writes beside its
// file when a model has several texture sets (out/a.obj also writes out/a.1.obj, out/a.2.obj,
// ...: another job's out/a.1.obj is refused).
void CheckDistinctOutputs(const BatchJobList& list);

// A pattern with its fields filled in from `input`: {stem} (the name without extension),
// {name}, {ext} (without the dot), {dir} (the input's folder as given, "." for none); {{ and
// }} are braces. vlm::Error (5) at `place` for an unknown field or a lone brace.
std::string FillPattern(std::string_view pattern, const std::filesystem::path& input,
                        const std::string& place);

// ---- skipping what has not changed --------------------------------------------------------

// A fast hash of a file's bytes (16 hexadecimal digits), "missing" when it cannot be read, "not
// a regular file" for a FIFO, device or folder, which is never opened (nor waited for).
std::string ContentHash(const std::filesystem::path& file);

// Where a job's record is kept: beside its first output, as ".NAME.vlmbatch".
std::optional<std::filesystem::path> RecordFile(const BatchJob& job);

// What a finished job leaves in its record: the program's version, the job, the content of its
// input and of the textures its exports named, and the files it wrote (size and time).
std::string RecordText(const BatchJob& job, const std::string& version,
                       const std::vector<std::filesystem::path>& textures,
                       const std::vector<std::filesystem::path>& written);
// Why a record cannot be kept at `record`: "" when nothing is there or a regular file is
// (also through links), else what is there ("is a FIFO, not a regular file"). A record that
// is not a regular file is never opened, so a FIFO or device there cannot hold up the batch.
std::string RecordProblem(const std::filesystem::path& record);
// Whether the job's record says it has nothing to do: the same version and job, inputs and
// textures of the same content, and every file it wrote still as it wrote it. A record that is
// not a regular file is never opened: the job runs (and says, when it keeps its record).
bool UpToDate(const BatchJob& job, const std::string& version);

}  // namespace vlm::host
