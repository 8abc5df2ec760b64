#include "cli/batch_jobs.h"

#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>

#include "prep/prep_step.h"
#include "vlm/error.h"
#include "vlm/files.h"

namespace vlm::host {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// A key as a JSON pointer writes it: "~" as "~0", "/" as "~1".
std::string Escaped(const std::string& key) {
  std::string out;
  for (char c : key)
    out += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
  return out;
}

// A job file's place: the file and a JSON pointer into it.
struct Place {
  const std::string& origin;
  std::string pointer;
  Place operator/(const std::string& key) const { return {origin, pointer + "/" + Escaped(key)}; }
  Place operator/(size_t index) const { return *this / std::to_string(index); }
  std::string Text() const { return origin + ": " + (pointer.empty() ? "/" : pointer); }
};

[[noreturn]] void Fail(const Place& at, const std::string& what) {
  Raise(err::InvalidProcedureCall, at.Text() + ": " + what);
}

const char* TypeName(const Json& j) {
  if (j.is_string()) return "a string";
  if (j.is_boolean()) return "true or false";
  if (j.is_number()) return "a number";
  if (j.is_array()) return "a list";
  if (j.is_object()) return "an object";
  return "null";
}

void Expect(bool ok, const Json& j, const Place& at, const char* want) {
  if (!ok) Fail(at, std::string("is ") + TypeName(j) + ", not " + want);
}

void CheckKeys(const Json& object, const Place& at, const std::vector<std::string>& known) {
  for (const auto& [key, value] : object.items())
    if (std::find(known.begin(), known.end(), key) == known.end()) {
      std::string list;
      for (const std::string& k : known)
        list += (list.empty() ? "" : ", ") + k;
      Fail(at / key, "unknown key; known: " + list);
    }
}

const std::string& String(const Json& j, const Place& at) {
  Expect(j.is_string(), j, at, "a string");
  return j.get_ref<const std::string&>();
}

// A string, or a list of strings.
std::vector<std::string> Strings(const Json& j, const Place& at) {
  if (j.is_string()) return {j.get<std::string>()};
  Expect(j.is_array(), j, at, "a string or a list of strings");
  std::vector<std::string> out;
  for (size_t i = 0; i < j.size(); ++i)
    out.push_back(String(j[i], at / i));
  return out;
}

// "200M", "2G" or a number of bytes.
uint64_t Size(const Json& j, const Place& at) {
  if (j.is_number_unsigned() && j.get<uint64_t>() > 0) return j.get<uint64_t>();
  if (j.is_string()) {
    const std::string& s = j.get_ref<const std::string&>();
    size_t digits = 0;
    while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9')
      ++digits;
    const std::string unit = s.substr(digits);
    static const std::map<std::string, int> shifts = {{"", 0},   {"K", 10}, {"k", 10}, {"M", 20},
                                                      {"m", 20}, {"G", 30}, {"g", 30}, {"T", 40}};
    const auto shift = shifts.find(unit);
    if (digits > 0 && digits <= 12 && shift != shifts.end()) {
      const uint64_t n = std::stoull(s.substr(0, digits));
      if (n > 0 && n <= (UINT64_MAX >> shift->second)) return n << shift->second;
    }
  }
  Fail(at, "is not a size such as 200M or 2G");
}

// A path that the glob matcher reads as itself.
std::string EscapeGlob(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '*' || c == '?' || c == '[' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

// The files a glob (or plain name) matches, sorted; folders are left out.
std::vector<fs::path> Match(const std::string& pattern, const Place& at) {
  glob_t found{};
  const int status = glob(pattern.c_str(), GLOB_ERR, nullptr, &found);
  std::vector<fs::path> out;
  for (size_t i = 0; status == 0 && i < found.gl_pathc; ++i) {
    std::error_code ec;
    if (!fs::is_directory(found.gl_pathv[i], ec)) out.emplace_back(found.gl_pathv[i]);
  }
  globfree(&found);
  if (out.empty()) Fail(at, "\"" + pattern + "\" matches no file");
  return out;
}

// One group of the job file, read and checked but with its patterns still patterns.
struct Group {
  Json json;
  Place at;
};

// {"prep": STEP, "select": [...], "output": ..., OPTION: value, ...}: every other key is one of
// the step's options (true: a flag; a string or number: its value; a list: a value each). The
// options' values are taken as they stand: their braces are the step's own ({n}, {name}).
BatchStep ReadPrepStep(const Json& j, const Place& at, const fs::path& input) {
  BatchStep step;
  step.place = at.Text();
  step.prep = String(j["prep"], at / "prep");
  const PrepStepInfo* info = FindPrepStep(step.prep);
  if (!info) {
    std::string list;
    for (const PrepStepInfo& s : PrepSteps())
      list += (list.empty() ? "" : ", ") + s.name;
    Fail(at / "prep", "no preparation step \"" + step.prep + "\": the steps are " + list);
  }
  for (const auto& [key, value] : j.items()) {
    const Place here = at / key;
    if (key == "prep") continue;
    if (key == "select") {
      const auto selections = Strings(value, here);
      for (size_t i = 0; i < selections.size(); ++i)
        step.selections.push_back(FillPattern(selections[i], input, (here / i).Text()));
    } else if (key == "output") {
      const std::string name = FillPattern(String(value, here), input, here.Text());
      if (name.empty()) Fail(here, "is empty: give a file name");
      step.output = fs::path(name);
    } else if (value.is_boolean()) {
      if (value.get<bool>()) step.prepOptions.push_back(key);
    } else if (value.is_array()) {
      for (size_t i = 0; i < value.size(); ++i) {
        Expect(value[i].is_string() || value[i].is_number(), value[i], here / i,
               "a string or a number");
        step.prepOptions.push_back(
            key + "=" + (value[i].is_string() ? value[i].get<std::string>() : value[i].dump()));
      }
    } else {
      Expect(value.is_string() || value.is_number(), value, here,
             "true, a string, a number or a list of them");
      step.prepOptions.push_back(key + "=" +
                                 (value.is_string() ? value.get<std::string>() : value.dump()));
    }
  }
  try {
    CheckPrepOptions(*info, step.prepOptions);
  } catch (const PrepBadValue& e) {
    Fail(at, step.prep + ": " + e.Description());
  }
  return step;
}

BatchStep ReadStep(const Json& j, const Place& at, const fs::path& input) {
  Expect(j.is_object(), j, at, "an object");
  if (j.contains("prep")) {
    if (j.contains("run")) Fail(at, "give either \"run\" (a plug-in) or \"prep\" (a step)");
    return ReadPrepStep(j, at, input);
  }
  CheckKeys(j, at,
            {"run", "select", "ui", "uiFile", "params", "output", "sceneOut", "copyTextures",
             "allowOutside"});
  BatchStep step;
  step.place = at.Text();
  if (!j.contains("run"))
    Fail(at, "names no plug-in: give \"run\" (or \"prep\" for a preparation step)");
  step.plugin = String(j["run"], at / "run");
  const auto fill = [&](const std::string& key) {
    return FillPattern(String(j[key], at / key), input, (at / key).Text());
  };
  if (j.contains("select")) {
    const auto selections = Strings(j["select"], at / "select");
    for (size_t i = 0; i < selections.size(); ++i)
      step.selections.push_back(FillPattern(selections[i], input, (at / "select" / i).Text()));
  }
  if (j.contains("ui")) step.ui = fill("ui");
  if (j.contains("ui") && j.contains("uiFile")) Fail(at, "give either \"ui\" or \"uiFile\"");
  if (j.contains("params")) {
    const Json& params = j["params"];
    Expect(params.is_object(), params, at / "params", "an object of NAME: value");
    for (const auto& [name, value] : params.items()) {
      Expect(value.is_number() || value.is_string(), value, at / "params" / name,
             "a number or a string");
      step.params.push_back(name + "=" +
                            (value.is_string() ? value.get<std::string>() : value.dump()));
    }
  }
  // A file's name: an empty one would name no file (and the folder it is in, once joined).
  const auto file = [&](const std::string& key) {
    const std::string name = fill(key);
    if (name.empty())
      Fail(at / key, j[key].get_ref<const std::string&>().empty()
                         ? "empty: give a file name"
                         : "is empty for " + input.string() + ": give a file name");
    return fs::path(name);
  };
  if (j.contains("uiFile")) step.uiFile = file("uiFile");
  if (j.contains("output")) step.output = file("output");
  if (j.contains("sceneOut")) step.sceneOutput = file("sceneOut");
  for (const auto& [key, flag] : {std::pair{"copyTextures", &step.copyTextures},
                                  std::pair{"allowOutside", &step.allowOutside}})
    if (j.contains(key)) {
      Expect(j[key].is_boolean(), j[key], at / key, "true or false");
      *flag = j[key].get<bool>();
    }
  // As on the command line: it says where copying may reach, so it needs copying.
  if (step.allowOutside && !step.copyTextures)
    Fail(at / "allowOutside", "needs \"copyTextures\": true");
  return step;
}

BatchJob ReadJob(const Group& group, const fs::path& input, const Place& inputAt) {
  const Json& j = group.json;
  BatchJob job;
  job.input = input;
  job.place = inputAt.Text();
  if (j.contains("import")) {
    const Json& im = j["import"];
    const Place at = group.at / "import";
    Expect(im.is_object(), im, at, "an object");
    CheckKeys(im, at, {"name", "scale", "allowOutside"});
    if (im.contains("name"))
      job.importName = FillPattern(String(im["name"], at / "name"), input, (at / "name").Text());
    if (im.contains("scale")) {
      const Json& scale = im["scale"];
      Expect(scale.is_number() && scale.get<double>() > 0, scale, at / "scale", "a number above 0");
      // The scale is a float, as the import takes it: it may come out neither 0 nor endless.
      if (scale.get<double>() > std::numeric_limits<float>::max())
        Fail(at / "scale", "is too large a scale");
      if (scale.get<float>() == 0) Fail(at / "scale", "is too small a scale");
      job.scale = im["scale"].get<float>();
    }
    if (im.contains("allowOutside")) {
      Expect(im["allowOutside"].is_boolean(), im["allowOutside"], at / "allowOutside",
             "true or false");
      job.allowOutside = im["allowOutside"].get<bool>();
    }
  }
  const Json& steps = j["steps"];
  for (size_t i = 0; i < steps.size(); ++i)
    job.steps.push_back(ReadStep(steps[i], group.at / "steps" / i, input));
  // The job as a file of one job: the group with this input alone, named literally.
  Json one = j;
  one["inputs"] = Json::array({EscapeGlob(input.string())});
  try {
    job.description = Json{{"jobs", Json::array({one})}}.dump();
  } catch (const Json::type_error&) {
    Fail(inputAt, "matches a file whose name is not UTF-8, which a job file cannot name: " +
                      Json(input.string()).dump(-1, ' ', true, Json::error_handler_t::replace));
  }
  return job;
}

// Line and column of a byte offset, for a message about text that is not JSON.
std::string LineAndColumn(std::string_view text, size_t offset) {
  offset = std::min(offset, text.size());
  size_t line = 1, column = 1;
  for (size_t i = 0; i + 1 < offset; ++i)
    if (text[i] == '\n')
      ++line, column = 1;
    else
      ++column;
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Where the parser is, as a JSON pointer: the place a number too large to hold is reported at,
// since the parser's own message names no place.
class PointerTracker {
 public:
  bool Event(Json::parse_event_t event, const Json& parsed) {
    using E = Json::parse_event_t;
    if (event == E::object_start || event == E::array_start)
      frames_.push_back({event == E::array_start, 0, {}});
    else if (event == E::key)
      frames_.back().key = parsed.get<std::string>();
    else if (event == E::object_end || event == E::array_end)
      frames_.pop_back();
    // A value, or a list or object just ended, moves its list on to the next index.
    if (event != E::object_start && event != E::array_start && event != E::key &&
        !frames_.empty() && frames_.back().list)
      ++frames_.back().index;
    return true;
  }
  std::string Pointer() const {
    std::string out;
    for (const Frame& f : frames_)
      out += "/" + (f.list ? std::to_string(f.index) : Escaped(f.key));
    return out;
  }

 private:
  struct Frame {
    bool list;
    size_t index;
    std::string key;
  };
  std::vector<Frame> frames_;
};

// The job file's JSON; vlm::Error naming the line and column of text that is not JSON, and the
// place of a number too large to hold (1e999).
Json ParseJson(std::string_view text, const std::string& origin) {
  PointerTracker where;
  try {
    return Json::parse(text, [&where](int, Json::parse_event_t event, Json& parsed) {
      return where.Event(event, parsed);
    });
  } catch (const Json::parse_error& e) {
    Raise(err::InvalidProcedureCall, origin + ": not JSON: " + LineAndColumn(text, e.byte) + ": " +
                                         std::string(std::strchr(e.what(), ':') + 2));
  } catch (const Json::exception& e) {
    // The one other fault of the parser: a number beyond the range of a double.
    const std::string what = e.what();
    const size_t quote = what.find('\'');
    Fail({origin, where.Pointer()},
         "is a number too large to hold" +
             (quote == std::string::npos ? std::string() : ": " + what.substr(quote)));
  }
}

}  // namespace

std::vector<fs::path> BatchJob::Outputs() const {
  std::vector<fs::path> out;
  for (const BatchStep& step : steps) {
    if (step.output) out.push_back(*step.output);
    if (step.sceneOutput) out.push_back(*step.sceneOutput);
  }
  return out;
}

std::string FillPattern(std::string_view pattern, const fs::path& input, const std::string& place) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if ((c == '{' || c == '}') && i + 1 < pattern.size() && pattern[i + 1] == c) {
      out += c, ++i;
      continue;
    }
    if (c == '}') Raise(err::InvalidProcedureCall, place + ": a lone \"}\" (write }} for one)");
    if (c != '{') {
      out += c;
      continue;
    }
    const size_t end = pattern.find('}', i);
    if (end == std::string_view::npos)
      Raise(err::InvalidProcedureCall, place + ": a \"{\" without its \"}\" (write {{ for one)");
    const std::string_view field = pattern.substr(i + 1, end - i - 1);
    if (field == "stem")
      out += input.stem().string();
    else if (field == "name")
      out += input.filename().string();
    else if (field == "ext")
      out += input.extension().string().substr(input.has_extension() ? 1 : 0);
    else if (field == "dir")
      out += input.has_parent_path() ? input.parent_path().string() : ".";
    else
      Raise(err::InvalidProcedureCall, place + ": \"{" + std::string(field) +
                                           "}\" names no field; known: {dir}, {ext}, {name}, "
                                           "{stem}");
    i = end;
  }
  return out;
}

BatchJobList ParseJobFile(std::string_view text, const std::string& origin) {
  const Place root{origin, ""};
  const Json j = ParseJson(text, origin);
  Expect(j.is_object(), j, root, "an object");
  CheckKeys(j, root, {"$schema", "jobs", "maxMemory", "timeout"});
  BatchJobList list;
  if (j.contains("maxMemory")) {
    list.limits.memory = Size(j["maxMemory"], root / "maxMemory");
    list.limitsGiven = true;
  }
  if (j.contains("timeout")) {
    const Json& t = j["timeout"];
    Expect(t.is_number() && t.get<double>() > 0, t, root / "timeout", "a number of seconds");
    list.limits.seconds = t.get<double>();
    list.limitsGiven = true;
  }
  if (!j.contains("jobs")) Fail(root, "no \"jobs\"");
  const Json& jobs = j["jobs"];
  Expect(jobs.is_array(), jobs, root / "jobs", "a list");
  for (size_t g = 0; g < jobs.size(); ++g) {
    const Place at = root / "jobs" / g;
    const Json& group = jobs[g];
    Expect(group.is_object(), group, at, "an object");
    CheckKeys(group, at, {"inputs", "import", "steps"});
    if (!group.contains("inputs")) Fail(at, "no \"inputs\"");
    if (!group.contains("steps")) Fail(at, "no \"steps\"");
    Expect(group["steps"].is_array() && !group["steps"].empty(), group["steps"], at / "steps",
           "a list of one step or more");
    const auto inputs = Strings(group["inputs"], at / "inputs");
    // Patterns are checked once on a made-up name, so a bad one is found without a file.
    ReadJob({group, at}, "name.ext", at / "inputs");
    for (size_t i = 0; i < inputs.size(); ++i) {
      const Place inputAt = group["inputs"].is_string() ? at / "inputs" : at / "inputs" / i;
      for (const fs::path& input : Match(inputs[i], inputAt))
        list.jobs.push_back(ReadJob({group, at}, input, inputAt));
    }
  }
  return list;
}

BatchJobList ShortFormJobs(const std::vector<std::string>& inputs,
                           const std::vector<std::string>& runs) {
  Json steps = Json::array();
  for (const std::string& run : runs) {
    const size_t colon = run.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == run.size())
      Raise(err::InvalidProcedureCall,
            "--run " + run + ": give PLUGIN:OUTPUT, as wingform:out/{stem}.obj");
    steps.push_back({{"run", run.substr(0, colon)}, {"output", run.substr(colon + 1)}});
  }
  const Json file = {{"jobs", Json::array({{{"inputs", inputs}, {"steps", steps}}})}};
  return ParseJobFile(file.dump(), "the command line");
}

namespace {

// The file a name reaches (folders and links resolved as far as they exist).
fs::path Reached(const fs::path& file) {
  std::error_code ec;
  fs::path out = fs::weakly_canonical(fs::absolute(file), ec);
  return ec ? fs::absolute(file).lexically_normal() : out;
}

// The folder a name is in, resolved, joined with the name as given: where an exporter puts the
// numbered parts of the file (they are beside the name, not beside what a link leads to).
fs::path Beside(const fs::path& file) {
  return Reached(file.parent_path().empty() ? "." : file.parent_path()) / file.filename();
}

// The numbered parts an exporter writes beside `file`, as Wingform names them: up to the last
// "." of the file's own name (all of it without one), then ".1.obj", ".2.obj", ...; their
// common start, "out/a." for out/a.obj.
std::string NumberedStart(const fs::path& file) {
  const std::string name = file.filename().string();
  const size_t dot = name.rfind('.');
  return (Beside(file).parent_path() / name.substr(0, dot)).string() + ".";
}

// The start `file` would have as a numbered part ("out/a." for out/a.12.obj), or "".
std::string StartAsNumberedPart(const fs::path& file) {
  const std::string name = Beside(file).string();
  if (!name.ends_with(".obj")) return {};
  const size_t end = name.size() - 4, digits = name.find_last_not_of("0123456789", end - 1);
  if (digits == std::string::npos || digits + 1 == end || name[digits] != '.' ||
      name[digits + 1] == '0')
    return {};
  return name.substr(0, digits + 1);
}

[[noreturn]] void Clash(const BatchJob& job, const fs::path& output, const BatchJob& other,
                        const std::string& how) {
  const bool same = &other == &job;
  Raise(err::InvalidProcedureCall,
        job.place + ": " + output.string() +
            (same ? " is written twice by the job of " + job.input.string() +
                        (how.empty() ? "" : "," + how)
                  : " is also written by the job of " + other.input.string() + " (" + other.place +
                        ")" + (how.empty() ? "" : "," + how + ",") + " and " + job.input.string()));
}

}  // namespace

void CheckDistinctOutputs(const BatchJobList& list) {
  std::map<fs::path, std::pair<const BatchJob*, fs::path>> seen;
  // Every step's output may be an export with numbered parts: by their common start.
  std::map<std::string, std::pair<const BatchJob*, fs::path>> numbered;
  for (const BatchJob& job : list.jobs) {
    for (const fs::path& output : job.Outputs()) {
      const auto [it, fresh] = seen.emplace(Reached(output), std::make_pair(&job, output));
      if (!fresh) Clash(job, output, *it->second.first, "");
    }
    for (const BatchStep& step : job.steps)
      if (step.output) numbered.emplace(NumberedStart(*step.output), std::pair(&job, *step.output));
  }
  for (const BatchJob& job : list.jobs)
    for (const fs::path& output : job.Outputs()) {
      const auto it = numbered.find(StartAsNumberedPart(output));
      if (it != numbered.end())
        Clash(job, output, *it->second.first,
              " as a numbered part of its export " + it->second.second.string());
    }
}

// ---- records ------------------------------------------------------------------------------

std::string RecordProblem(const fs::path& record) {
  struct stat st {};
  if (stat(record.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return {};
  const char* kind = S_ISDIR(st.st_mode)    ? "a folder"
                     : S_ISFIFO(st.st_mode) ? "a FIFO"
                     : S_ISSOCK(st.st_mode) ? "a socket"
                                            : "a device";
  return std::string("is ") + kind + ", not a regular file";
}

namespace {

// A regular file's bytes (up to `limit`); nothing when there is none, it cannot be read, or it
// is something else: a FIFO or device is never opened, so none can hold up the batch, and the
// kernel's files (/proc/kcore) are never read. Opened
// without waiting and checked again once open, so that a FIFO put there between the look and
// the opening holds up nothing either.
std::optional<std::string> ReadRegularFile(const fs::path& file, size_t limit) {
  if (!RecordProblem(file).empty()) return std::nullopt;
  const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> bytes;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && !OnKernelFileSystem(fd)) {
    bytes.emplace();
    for (char chunk[65536]; bytes && bytes->size() < limit;) {
      const ssize_t n = read(fd, chunk, sizeof chunk);
      if (n < 0) bytes.reset();
      if (n <= 0) break;
      bytes->append(chunk, static_cast<size_t>(n));
    }
  }
  close(fd);
  return bytes;
}

}  // namespace

std::string ContentHash(const fs::path& file) {
  const std::optional<std::string> read = ReadRegularFile(file, SIZE_MAX);
  if (!read) return RecordProblem(file).empty() ? "missing" : "not a regular file";
  const std::string& bytes = *read;
  // Eight bytes at a time, each word mixed in by a multiply and a shift: quick, and any change
  // of the bytes or the length changes the result but by a freak.
  uint64_t h = 0x9E3779B97F4A7C15ull ^ bytes.size();
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, bytes.data() + i, 8);
    h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 29;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, bytes.data() + i, bytes.size() - i);
  h = (h ^ tail) * 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 32;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

std::optional<fs::path> RecordFile(const BatchJob& job) {
  const auto outputs = job.Outputs();
  if (outputs.empty()) return std::nullopt;
  const fs::path& first = outputs.front();
  return first.parent_path() / ("." + first.filename().string() + ".vlmbatch");
}

namespace {

// A written file's size and modification time, as the record keeps them.
Json Stamp(const fs::path& file) {
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) return nullptr;
  return Json::array({static_cast<uint64_t>(st.st_size),
                      static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec});
}

}  // namespace

std::string RecordText(const BatchJob& job, const std::string& version,
                       const std::vector<fs::path>& textures,
                       const std::vector<fs::path>& written) {
  Json record = {{"version", version}, {"job", job.description}};
  record["input"] = ContentHash(job.input);
  Json& t = record["textures"] = Json::object();
  for (const fs::path& texture : textures)
    t[texture.string()] = ContentHash(texture);
  Json& w = record["written"] = Json::object();
  for (const fs::path& file : written)
    w[file.string()] = Stamp(file);
  // A name that is not UTF-8 is kept with a stand-in character: the record then does not match
  // and the job runs again, which is all a record's fault may cost.
  return record.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool UpToDate(const BatchJob& job, const std::string& version) {
  const auto file = RecordFile(job);
  if (!file) return false;
  Json record;
  try {
    const auto text = ReadRegularFile(*file, 1 << 24);
    if (!text) return false;
    record = Json::parse(*text);
    if (record.value("version", "") != version || record.value("job", "") != job.description ||
        record.value("input", "") != ContentHash(job.input))
      return false;
    for (const auto& [texture, hash] : record.at("textures").items())
      if (hash != ContentHash(texture)) return false;
    const Json& written = record.at("written");
    if (written.empty()) return false;
    for (const auto& [path, stamp] : written.items())
      if (stamp.is_null() || stamp != Stamp(path)) return false;
    // Every output the job names must be there, whatever the record says.
    for (const fs::path& output : job.Outputs())
      if (!written.contains(output.string())) return false;
  } catch (const std::exception&) {
    return false;  // a missing or damaged record: the job runs
  }
  return true;
}

}  // namespace vlm::host
