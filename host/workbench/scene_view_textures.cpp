// The 3D view's textures (see TextureFor in scene_view.h): the materials' diffuse maps read
// from their files and put on the graphics card, and the warning pattern drawn in place of one
// that is missing or cannot be read.
#include <QImage>
#include <QImageReader>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "scene/document.h"
#include "workbench/scene_view.h"
#include "workbench/scene_view_state.h"
#include "workbench/texture_image.h"

namespace vlm::workbench {
namespace {

namespace fs = std::filesystem;

// Where a texture named in the scene is: relative to the scene's folder or absolute, else
// its own file name in the scene's folder (a path from another machine, D:\maps\wood.png).
std::optional<fs::path> FindTexture(const std::string& name, const fs::path& folder) {
  if (name.empty()) return std::nullopt;
  std::error_code ec;
  const fs::path given(name);
  const fs::path first = given.is_absolute() ? given : folder / given;
  if (fs::is_regular_file(first, ec)) return first;
  const size_t slash = name.find_last_of("/\\");
  const fs::path own = folder / (slash == std::string::npos ? name : name.substr(slash + 1));
  if (fs::is_regular_file(own, ec)) return own;
  return std::nullopt;
}

// The texture files other than DDS and TGA (PNG, BMP, JPEG, ...), through Qt's readers.
std::optional<TextureImage> ReadWithQt(const fs::path& file, std::string* problem) {
  QImageReader reader(QString::fromStdString(file.string()));
  QImage image = reader.read();
  if (image.isNull()) {
    if (problem) *problem = reader.errorString().toStdString();
    return std::nullopt;
  }
  if (image.width() > kMaxTextureSide || image.height() > kMaxTextureSide) {
    if (problem)
      *problem = "it is larger than the " + std::to_string(kMaxTextureSide) + " texels a side " +
                 "drawn here";
    return std::nullopt;
  }
  image = image.convertToFormat(QImage::Format_RGBA8888);
  TextureLevel level{image.width(), image.height(), {}};
  const size_t row = size_t(image.width()) * 4;
  level.rgba.resize(row * size_t(image.height()));
  for (int y = 0; y < image.height(); ++y)
    std::copy_n(image.constScanLine(y), row, level.rgba.data() + row * size_t(y));
  TextureImage texture;
  texture.levels.push_back(std::move(level));
  return texture;
}

// A texture on the graphics card: the levels the file has, or made from the first.
GLuint Upload(QOpenGLExtraFunctions& gl, const TextureImage& image) {
  GLuint id = 0;
  gl.glGenTextures(1, &id);
  gl.glBindTexture(GL_TEXTURE_2D, id);
  gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  // The image's first row is the top, where the scene's texture coordinates have v = 0.
  for (size_t l = 0; l < image.levels.size(); ++l) {
    const TextureLevel& level = image.levels[l];
    gl.glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(l), GL_RGBA8, level.width, level.height, 0,
                    GL_RGBA, GL_UNSIGNED_BYTE, level.rgba.data());
  }
  // A file's mipmaps may stop before 1 x 1: the texture ends where they do.
  if (image.levels.size() > 1)
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL,
                       static_cast<GLint>(image.levels.size()) - 1);
  else
    gl.glGenerateMipmap(GL_TEXTURE_2D);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  return id;
}

}  // namespace

// The texture of a material's diffuse map (0: it names none). A file is read once and again
// only when it changes; one that is missing or cannot be read gets the warning pattern, and a
// line in `problems`.
GLuint SceneView::TextureFor(const host::HostMaterial* material,
                             std::vector<std::string>& problems) {
  if (!material || material->diffuseMap.empty()) return 0;
  const std::string& name = material->diffuseMap;
  const fs::path& folder = state_->textureFolder;
  const std::optional<fs::path> file = FindTexture(name, folder);
  const fs::path key = file ? *file : folder / name;
  Gpu::Texture now;
  std::error_code ec;
  if (file) {
    now.exists = true;
    now.time = fs::last_write_time(*file, ec);
    now.size = fs::file_size(*file, ec);
  }
  Gpu& g = *gpu_;
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  auto it = g.textures.find(key);
  if (it != g.textures.end()) {
    Gpu::Texture& had = it->second;
    if (had.exists == now.exists && had.time == now.time && had.size == now.size) {
      had.used = true;
      return had.id;
    }
    if (had.id != g.warningTexture) gl.glDeleteTextures(1, &had.id);
    g.textures.erase(it);
  }
  std::string problem;
  if (file) {
    if (const std::optional<TextureImage> image = ReadTextureImage(*file, &problem, ReadWithQt))
      now.id = Upload(gl, *image);
  }
  if (!now.id) {
    now.id = WarningTexture();
    problems.push_back(file ? "warning: texture " + name + " cannot be read: " + problem +
                                  "; drawn in the warning pattern"
                            : "warning: texture " + name + " is missing (looked for in " +
                                  folder.string() + "); drawn in the warning pattern");
  }
  now.used = true;
  g.textures.emplace(key, now);
  return now.id;
}

// Magenta and black squares, 8 by 8 across the texture: faces whose texture is missing stand
// out at once.
GLuint SceneView::WarningTexture() {
  Gpu& g = *gpu_;
  if (g.warningTexture) return g.warningTexture;
  uint8_t texels[8 * 8 * 4];
  for (int i = 0; i < 64; ++i) {
    const uint8_t on = ((i % 8 + i / 8) % 2 == 0) ? 255 : 0;
    texels[4 * i] = on, texels[4 * i + 1] = 0, texels[4 * i + 2] = on, texels[4 * i + 3] = 255;
  }
  QOpenGLExtraFunctions& gl = *context()->extraFunctions();
  gl.glGenTextures(1, &g.warningTexture);
  gl.glBindTexture(GL_TEXTURE_2D, g.warningTexture);
  gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 8, 8, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  return g.warningTexture;
}

}  // namespace vlm::workbench
