// vlmhost run --copy-textures: the textures a run's exports name, copied beside them in the
// run's transaction. The exporters name each by its own file name and note where they look
// for it; the file is found where the scene names it: relative to the scene file's folder, or
// at its absolute path. A name that reaches nothing there (a path of another machine, such as
// D:\maps\wood.png) is looked for by its own file name in the scene's folder.
//
// A scene or model is untrusted: its names may lead anywhere (/etc/shadow, ../../x). Only a
// plain file that starts as a picture does, and that lies in the scene's folder or below it
// where the name leads after every link and "..", is copied; --allow-outside lifts the last
// rule alone. Devices, pipes and the system's own files (/proc, /sys) are never read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>

#include "exchange/image_size.h"
#include "run/document_run.h"
#include "run/run_outputs.h"
#include "run/scene_argument.h"
#include "vlm/error.h"
#include "vlm/file_names.h"
#include "vlm/files.h"
#include "vlm/named_files.h"
#include "vlm/run_context.h"

namespace vlm::host {
namespace {

namespace fs = std::filesystem;

// Something at `path` to copy or to refuse: anything but a folder.
bool IsThere(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec) && !fs::is_directory(path, ec);
}

// The file to copy for `named`, whose copy the export calls `fileName`: the file of that name
// in the folder the scene's name leads to (the named file itself unless the export changed its
// extension), else in the scene's folder.
std::optional<fs::path> FindSource(const NamedFile& named, const fs::path& sceneFolder,
                                   std::vector<fs::path>& looked) {
  const fs::path fileName = fs::path(named.target).filename();
  std::string name = named.source;
  std::replace(name.begin(), name.end(), '\\', '/');
  const fs::path path(name);
  if (!IsAbsoluteFileName(named.source) || path.is_absolute())
    looked.push_back((path.is_absolute() ? path : sceneFolder / path).parent_path() / fileName);
  looked.push_back(sceneFolder / fileName);
  for (const fs::path& candidate : looked)
    if (IsThere(candidate)) return candidate;
  return std::nullopt;
}

// Closes a descriptor when it goes.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Reads up to `size` bytes at `offset`; fewer only at the end of the file.
std::string ReadAt(int fd, const fs::path& file, off_t offset, size_t size) {
  std::string bytes(size, '\0');
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, bytes.data() + got, size - got, offset + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      Raise(err::PathFileAccess, file.string() + ": cannot read it: " + std::strerror(errno));
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

// The bytes of the texture at `file`, or nothing with `refusal` saying why it is not copied.
// The file is opened once and everything is judged on what was opened, so a link changed
// meanwhile leads nowhere else: a plain file, not on /proc or /sys, really in `folder` (the
// scene's, resolved) or below it unless `anywhere`, and starting as a picture.
std::optional<std::string> ReadTexture(const fs::path& file, const fs::path& folder, bool anywhere,
                                       std::string& refusal) {
  struct stat st {};
  // A device or pipe is not even opened: opening one may wait or change it.
  if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    refusal = "it is a device or pipe, not a file";
    return std::nullopt;
  }
  const Descriptor d{::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  if (d.fd < 0 || ::fstat(d.fd, &st) != 0) {
    refusal = std::string("it cannot be read: ") + std::strerror(errno);
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode) || OnKernelFileSystem(d.fd)) {
    refusal = "it is a file of the system (/proc, /sys) or no plain file, which is never read";
    return std::nullopt;
  }
  // Where the file opened really is, every link and ".." resolved.
  std::error_code ec;
  fs::path real = fs::read_symlink("/proc/self/fd/" + std::to_string(d.fd), ec);
  if (ec) real = fs::weakly_canonical(fs::absolute(file, ec), ec);
  const fs::path inside = real.lexically_relative(folder);
  if (!anywhere && (inside.empty() || *inside.begin() == ".." || inside == ".")) {
    refusal = "it is " + real.string() + ", outside " + folder.string() +
              " (the folder of the scene and below; --allow-outside copies it)";
    return std::nullopt;
  }
  if (!ImageFormatOf(ReadAt(d.fd, file, 0, kImageHeaderBytes))) {
    refusal = "it is no picture (PNG, DDS, BMP, TGA or JPEG) by its first bytes";
    return std::nullopt;
  }
  return ReadAt(d.fd, file, 0, static_cast<size_t>(st.st_size));
}

// Whether a relative path stays below the folder it starts from.
bool StaysBelow(const fs::path& relative) {
  if (relative.empty() || relative.is_absolute() || relative.has_root_name()) return false;
  return std::none_of(relative.begin(), relative.end(),
                      [](const fs::path& part) { return part == ".."; });
}

const EmbeddedTexture* EmbeddedNamed(const std::vector<EmbeddedTexture>* textures,
                                     const std::string& name) {
  if (!textures) return nullptr;
  for (const EmbeddedTexture& texture : *textures)
    if (texture.file == name) return &texture;
  return nullptr;
}

// Makes `folder` and the folders above it that are missing, each noted in `made` (a reference
// into a folder below the export, textures\wood, gets the folder).
void MakeFolders(fs::path folder, std::vector<fs::path>& made) {
  std::error_code ec;
  std::vector<fs::path> missing;
  for (; !folder.empty() && !fs::exists(folder, ec); folder = folder.parent_path())
    missing.push_back(folder);
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!fs::create_directory(*it, ec) && ec)
      Raise(err::PathFileAccess, it->string() + ": cannot make the folder: " + ec.message());
    made.push_back(*it);
  }
}

std::string Joined(const std::vector<fs::path>& paths) {
  std::string out;
  for (const fs::path& p : paths)
    out += (out.empty() ? "" : ", ") + p.string();
  return out;
}

}  // namespace

void RunOutputs::StageNamedFiles() {
  if (!options_.copyTextures) return;
  const std::vector<fs::path> staged = transaction_.StagedTargets();
  fs::path sceneFolder =
      IsStandardStream(options_.scene) ? fs::path() : options_.scene.parent_path();
  if (sceneFolder.empty()) sceneFolder = ".";
  std::error_code ec;
  const fs::path resolvedFolder = fs::weakly_canonical(fs::absolute(sceneFolder, ec), ec);
  std::map<fs::path, fs::path> copies;  // target -> the file copied there
  for (const NamedFile& named : context_.NamedFiles()) {
    // Files of an export press that was taken back are not copied.
    if (std::find(staged.begin(), staged.end(), named.output) == staged.end()) continue;
    const std::string start =
        named.output.string() + ": the texture \"" + named.source + "\" was not copied: ";
    if (!StaysBelow(fs::path(named.target))) {
      context_.Warn(start + "the export looks for it at \"" + named.target +
                    "\", outside the export's folder");
      continue;
    }
    // A texture the model given as the scene carries inside itself is copied from memory.
    const EmbeddedTexture* embedded = EmbeddedNamed(scene_.modelTextures, named.source);
    std::vector<fs::path> looked;
    const std::optional<fs::path> source =
        embedded ? fs::path(named.source) : FindSource(named, sceneFolder, looked);
    if (!source) {
      context_.Warn(start + "no such file (looked for " + Joined(looked) + ")");
      continue;
    }
    const fs::path target = (named.output.parent_path() / named.target).lexically_normal();
    if (const auto copy = copies.find(target); copy != copies.end()) {
      if (copy->second != *source && (embedded || !fs::equivalent(copy->second, *source, ec)))
        context_.Warn(start + target.string() + " is already the copy of " + copy->second.string());
      continue;
    }
    if (!embedded && fs::equivalent(*source, target, ec)) continue;  // it is there already
    std::string refusal;
    const std::optional<std::string> bytes =
        embedded ? embedded->bytes
                 : ReadTexture(*source, resolvedFolder, options_.allowOutside, refusal);
    if (!bytes) {
      context_.Warn(start + refusal);
      continue;
    }
    copies.emplace(target, *source);
    MakeFolders(target.parent_path(), createdTextureFolders_);
    transaction_.Stage(target, *bytes);
    written_.push_back(target.string());
  }
}

}  // namespace vlm::host
