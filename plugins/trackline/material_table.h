// The material and texture table of the IGS exporter.
//
// Every host material used by an exported shape becomes one IgsMaterial record, built from
// its colours, its texture file names and four texts the user sets on the material:
//   "Rail Sim"  the shader ("TexDiff" when empty)
//   "Tx Alpha"  the alpha mode: "transparency" or "translucency" (any case)
//   "Alpha Pr"  the alpha priority, a number
//   "RailSimX"  parameters: key=value items separated by ";" (zbias=1;r0filtermode=1)
// Equal records are kept once; the texture list holds each texture reference once.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "trackline/igs_records.h"

namespace vlm {
class GraphMaterial;
class TextureSet;
}  // namespace vlm

namespace vlm::igs {

class MaterialTable {
 public:
  // The names of the four material texts, in slot order.
  static constexpr std::array<const char*, 4> FieldNames = {"Rail Sim", "Tx Alpha", "Alpha Pr",
                                                            "RailSimX"};

  // The document's material custom-field slots of the four texts, in the order above.
  std::array<int32_t, 4> slots{-1, -1, -1, -1};
  std::vector<IgsMaterial> records;       // at most MaxMaterials
  std::vector<std::string> textures;      // texture references; numbers are 1-based positions
  std::vector<std::string> textureFiles;  // the file each reference was made from, as named
  // The texture file of materials without a usable one of their own; empty: none.
  std::string defaultTexture;

  // Empties the records and the texture list (the slots stay).
  void Reset();

  // The record of a host material (unnamed); its stages hold texture-list numbers. `where`
  // names the material in messages ("Material 2 in Body/Door"). A shader or texture name
  // holding a control character stops the export (ExportStopped).
  IgsMaterial BuildMaterial(GraphMaterial& material, std::string_view where = {});
  // The index of the first equal record, or of the record appended (and named) when none is
  // equal. A 52nd distinct record stops the export (ExportStopped) naming `where`.
  int32_t AddMaterial(const IgsMaterial& record, std::string_view where = {});
  // BuildMaterial, then AddMaterial.
  int32_t Register(GraphMaterial& material, std::string_view where = {}) {
    return AddMaterial(BuildMaterial(material, where), where);
  }

  // The 1-based number of a texture file's reference in the texture list, appended when new:
  // the folder (default "textures") with a "\" after it, then the file name in lower case
  // without its extension (without its folders too when the host copies the textures beside
  // the export). A 52nd distinct reference stops the export.
  int32_t TextureReference(const std::string& file, const std::string& folder);

  // Whether two records count as the same material (their names are not compared).
  static bool SameMaterial(const IgsMaterial& a, const IgsMaterial& b);

  // The value of a parameter of the last material built, "" when it has none.
  std::string Parameter(const std::string& key) const;

 private:
  void parseParameters(const std::string& text);
  void setInteger(int32_t& field, const std::string& key) const;
  void setFloat(float& field, const std::string& key) const;
  void readStageParameters(IgsTextureStage& stage, int32_t n) const;
  // Appends a stage (miplodbias -1) for a texture file and reads its parameters.
  void addStage(IgsMaterial& record, const std::string& file);
  // The record's drawing values: the alpha mode's and the shader's, then the parameters'.
  void readDrawingParameters(IgsMaterial& m, const std::string& shader,
                             const std::string& alphaMode) const;
  // The first stage's texture (the material's or the default one) and the stages the shader
  // adds for the material's other textures.
  void addTextureStages(IgsMaterial& m, TextureSet* set, const std::string& shader);
  // Stops the export when a text of the material being built holds a control character.
  void checkText(std::string_view what, std::string_view text) const;

  std::vector<std::pair<std::string, std::string>> parameters_;  // keys in lower case
  std::string where_;  // the material being built, as messages name it
};

}  // namespace vlm::igs
