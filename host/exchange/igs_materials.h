// The IGS import's materials: each record a material with the fields that give it back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/igs_file.h"
#include "scene/document.h"

namespace vlm::host::igs {

// The file's 8-bit text as UTF-8.
std::string FromAnsi(std::string_view bytes);

struct MaterialSlots {
  int32_t railSim, alpha, priority, extra;
};

class MaterialMaker {
 public:
  MaterialMaker(HostDocument& doc, const std::string& folder, std::vector<std::string>& log)
      : doc_(doc), folder_(folder), log_(log) {
    slots_ = {doc.DefineMaterialField("Rail Sim"), doc.DefineMaterialField("Tx Alpha"),
              doc.DefineMaterialField("Alpha Pr"), doc.DefineMaterialField("RailSimX")};
  }
  HostMaterial& Make(const IgsMaterialRecord& r);

 private:
  int32_t SetShaderFields(HostMaterial& m, const IgsMaterialRecord& r, const std::string& shader);
  void DrawingParams(const IgsMaterialRecord& r, const std::string& shader, int32_t zbuffermode);
  float GlossParams(HostMaterial& m, const IgsMaterialRecord& r, const std::string& shader);
  void Stages(HostMaterial& m, const IgsMaterialRecord& r, const std::string& shader, float arg0);
  void StageParams(const std::string& k, const IgsStageRecord& s, float bias, float arg0);
  void Param(const std::string& key, const std::string& value);
  void IntParam(const std::string& key, int32_t value, int32_t standard);
  void FloatParam(const std::string& key, float value, float standard);

  // The texture file a reference stands for: the file of that name with any extension in the
  // reference's folder below the IGS file, or the name with ".dds". The exporter makes the
  // reference again from the name without its extension.
  std::string TextureFile(const std::string& reference);

  HostDocument& doc_;
  const std::string& folder_;
  std::vector<std::string>& log_;
  MaterialSlots slots_{};
  std::vector<std::string> params_;
};

}  // namespace vlm::host::igs
