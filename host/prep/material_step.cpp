// materials: a texture for the materials an exporter would otherwise write untextured, texture
// names moved to the folder they were copied to, equal materials made one, materials renamed.
//
// Everything the step will do is planned and checked first (every texture file named, every
// new name), then done in one go: a refused step leaves the document as it was.
#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "prep/prep_names.h"
#include "prep/prep_steps.h"
#include "scene/document.h"
#include "scene/texture_names.h"
#include "vlm/file_names.h"
#include "vlm/text_encoding.h"

namespace vlm::host {
namespace {
namespace fs = std::filesystem;

// The texture slots of a material: diffuse, bump, detail, specular, environment.
constexpr size_t kSlots = 5;

std::array<std::string*, kSlots> Slots(HostMaterial& m) {
  return {&m.diffuseMap, &m.bumpMap, &m.detailMap, &m.specularMap, &m.environmentMap};
}

// A material as the step leaves it: its texture names and whether it has a texture set.
struct Planned {
  HostMaterial* material;
  std::array<std::string, kSlots> maps;
  bool hasTextures;
  std::string name;
};

std::string Counted(size_t count, const std::string& one, const std::string& many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The custom fields that hold text: an empty one reads as one not set.
std::map<int32_t, std::string> SetFields(const HostMaterial& m) {
  std::map<int32_t, std::string> set;
  for (const auto& [slot, text] : m.fields)
    if (!text.empty()) set.emplace(slot, text);
  return set;
}

// Equal in everything a scene file keeps of a material but its name.
bool EqualButName(const Planned& a, const Planned& b) {
  const HostMaterial& x = *a.material;
  const HostMaterial& y = *b.material;
  return a.maps == b.maps && a.hasTextures == b.hasTextures && x.diffuse == y.diffuse &&
         x.ambient == y.ambient && x.emissive == y.emissive && x.specular == y.specular &&
         x.gloss == y.gloss && x.diffuseLevel == y.diffuseLevel &&
         x.ambientLevel == y.ambientLevel && x.specularLevel == y.specularLevel &&
         x.translucency == y.translucency && x.wrapU == y.wrapU && x.wrapV == y.wrapV &&
         SetFields(x) == SetFields(y);
}

// A folder or file as messages show it: the whole path.
std::string FolderText(const fs::path& folder) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(folder.empty() ? fs::path(".") : folder, ec);
  return (ec ? folder : absolute.lexically_normal()).string();
}

// A texture name as the scene keeps it: relative to the scene's folder (or absolute), with
// "/" between folders and no "./" or "x/.." in it.
std::string TextureName(const std::string& given) {
  std::string name = fs::path(given).lexically_normal().generic_string();
  while (name.size() > 1 && name.back() == '/')
    name.pop_back();
  return name;
}

// A file or folder named on the command line (relative to the current folder, or absolute) as
// a texture name leads to it from the scene's folder, as a scene written elsewhere names its
// textures (MovedTextureName): relative where the folders share more than the root.
std::string FromCurrentFolder(const std::string& given, const fs::path& sceneFolder) {
  if (given.empty()) return given;
  const std::string moved = MovedTextureName(given, fs::path(), sceneFolder);
  return moved.empty() ? given : moved;  // a file that is not there is named as given
}

// Why the texture name does not lead to a file from the scene's folder, or "" when it does.
std::string Missing(const std::string& name, const fs::path& folder) {
  const fs::path file = TextureFileFrom(name, folder.empty() ? fs::path(".") : folder);
  std::error_code ec;
  const auto status = fs::status(file, ec);
  const std::string where = " (" + FolderText(file) + ")";
  if (!fs::exists(status)) return "no such file" + where;
  if (!fs::is_regular_file(status)) return "not a file" + where;
  return "";
}

// The materials the step works on: those of the targets' faces (every one with the whole
// scene) whose name fits one of the patterns, in document order.
std::vector<HostMaterial*> Chosen(PrepContext& context, const std::vector<std::string>& patterns) {
  std::set<const HostMaterial*> used;
  if (!context.targets.wholeScene)
    for (const HostMesh* mesh : context.targets.AllObjects())
      for (size_t f = 0; f < mesh->FaceCount(); ++f)
        if (!mesh->FaceRemoved(f) && mesh->FaceMaterial(f)) used.insert(mesh->FaceMaterial(f));
  std::vector<HostMaterial*> candidates;
  for (const auto& m : context.document.Materials())
    if (context.targets.wholeScene || used.count(m.get())) candidates.push_back(m.get());
  if (patterns.empty()) return candidates;

  for (const std::string& pattern : patterns) {
    if (std::none_of(candidates.begin(), candidates.end(),
                     [&](HostMaterial* m) { return FitsWildcard(m->name, pattern); })) {
      std::string names;
      for (size_t i = 0; i < candidates.size() && i < 8; ++i)
        names += (i ? ", " : "") + Quoted(candidates[i]->name);
      if (candidates.size() > 8) names += ", ...";
      throw PrepBadValue("--material " + pattern + ": no material of the " +
                         (context.targets.wholeScene ? "scene" : "selection") + " fits it" +
                         (names.empty() ? std::string(" (it has none)") : "; they are " + names));
    }
  }
  std::erase_if(candidates, [&](HostMaterial* m) {
    return std::none_of(patterns.begin(), patterns.end(),
                        [&](const std::string& p) { return FitsWildcard(m->name, p); });
  });
  return candidates;
}

void Materials(PrepContext& context) {
  const PrepArgs& args = context.args;
  // Files and folders are named from the current folder, as every file on the command line;
  // the materials name them from the scene's folder.
  const fs::path& folder = context.sceneFolder;
  auto named = [&](const char* option) -> std::optional<std::string> {
    const auto given = args.Text(option);
    if (!given) return given;
    return FromCurrentFolder(*given, folder);
  };
  const auto texture = named("texture");
  const auto untextured = named("untextured");
  const auto rebase = named("rebase");
  const bool merge = args.Flag("merge-equal");
  const bool rename = args.Has("rename");
  if (!texture && !untextured && !rebase && !merge && !rename)
    throw PrepBadValue(
        "materials needs something to do: give --texture, --untextured, --rebase, --merge-equal "
        "or --rename");
  if (texture && untextured)
    args.Refuse("untextured",
                "--texture already gives every chosen material its texture; "
                "give one of the two");
  for (const char* option : {"texture", "untextured", "rebase"})
    if (args.Has(option) && args.Text(option)->empty())
      args.Refuse(option, "give a file name (a folder for --rebase; \".\" is the scene's own)");
  std::optional<NameTemplate> renamed;
  if (rename) renamed.emplace(args, "rename", -1);
  // The files as given, from the current folder.
  for (const char* option : {"texture", "untextured"})
    if (const auto given = args.Text(option)) {
      const std::string missing = Missing(TextureName(*given), fs::path());
      if (!missing.empty()) args.Refuse(option, missing);
    }

  std::vector<HostMaterial*> chosen = Chosen(context, args.Texts("material"));
  if (chosen.empty())
    throw PrepNothingToDo(context.targets.wholeScene
                              ? "the scene has no material"
                              : "the selected objects' faces have no material");

  // ---- the plan: every material's texture names, merges and names, checked ----
  std::vector<Planned> plan;
  for (HostMaterial* m : chosen) {
    Planned p{m, {}, m->hasTextures, m->name};
    const auto slots = Slots(*m);
    for (size_t s = 0; s < kSlots; ++s)
      p.maps[s] = *slots[s];
    plan.push_back(std::move(p));
  }
  size_t rebased = 0, textured = 0, given = 0;
  std::set<const HostMaterial*> rebasedMaterials;
  if (rebase) {
    const std::string dir = TextureName(*rebase);
    for (Planned& p : plan)
      for (std::string& map : p.maps) {
        if (map.empty()) continue;
        const std::string moved =
            TextureName(dir == "." ? BareFileName(map) : dir + "/" + BareFileName(map));
        if (!Missing(moved, folder).empty()) {
          const fs::path where =
              IsAbsoluteFileName(dir) ? fs::path(dir) : fs::path(FolderText(folder)) / dir;
          args.Refuse("rebase", "no file " + Quoted(BareFileName(map)) +
                                    " (a texture of material " + Quoted(p.material->name) +
                                    ") in " + where.lexically_normal().string());
        }
        if (moved == map) continue;
        map = moved;
        ++rebased;
        rebasedMaterials.insert(p.material);
      }
  }
  if (texture)
    for (Planned& p : plan)
      if (p.maps[0] != TextureName(*texture)) {
        p.maps[0] = TextureName(*texture);
        p.hasTextures = true;
        ++textured;
      }
  if (untextured)
    for (Planned& p : plan)
      if (p.maps[0].empty()) {
        p.maps[0] = TextureName(*untextured);
        p.hasTextures = true;
        ++given;
      }

  // Each merged material and the one it becomes (the first equal one, in document order).
  std::map<HostMaterial*, HostMaterial*> mergedInto;
  std::vector<Planned*> kept;
  for (Planned& p : plan) {
    const auto equal = merge ? std::find_if(kept.begin(), kept.end(),
                                            [&](Planned* k) { return EqualButName(*k, p); })
                             : kept.end();
    if (equal == kept.end())
      kept.push_back(&p);
    else
      mergedInto[p.material] = (*equal)->material;
  }

  std::vector<std::pair<std::string, std::string>> names;
  if (renamed) {
    // The new names must differ from those of the document's other materials, and from each
    // other.
    std::set<const HostMaterial*> renaming;
    for (Planned* p : kept)
      renaming.insert(p->material);
    std::set<std::string> taken;
    for (const auto& m : context.document.Materials())
      if (!renaming.count(m.get()) && !mergedInto.count(m.get())) taken.insert(m->name);
    long long n = 0;
    for (Planned* p : kept) {
      const std::string wanted = renamed->Fill(p->material->name, ++n);
      if (wanted.empty())
        args.Refuse("rename", "it makes an empty name of material " + Quoted(p->material->name) +
                                  "; give a template that leaves some text");
      if (!text::IsUtf8(wanted))
        args.Refuse("rename", "the name it makes of material " + Quoted(p->material->name) +
                                  " is not UTF-8 text");
      p->name = FreeName(wanted, taken);
      taken.insert(p->name);
      if (p->name != p->material->name) names.emplace_back(p->material->name, p->name);
    }
  }

  if (!rebased && !textured && !given && mergedInto.empty() && names.empty()) {
    throw PrepNothingToDo(
        Counted(plan.size(), "material", "materials") + " chosen, and each is already as asked" +
        (merge ? " (no two are equal)" : "") +
        (rebase && std::all_of(plan.begin(), plan.end(),
                               [](const Planned& p) {
                                 return std::all_of(p.maps.begin(), p.maps.end(),
                                                    [](auto& m) { return m.empty(); });
                               })
             ? " (none names a texture to rebase)"
             : ""));
  }

  // ---- done in one go: nothing below can be refused ----
  for (Planned& p : plan) {
    const auto slots = Slots(*p.material);
    for (size_t s = 0; s < kSlots; ++s)
      *slots[s] = p.maps[s];
    p.material->hasTextures = p.hasTextures;
  }
  if (!mergedInto.empty()) {
    auto repoint = [&](auto& self, HostNode& group) -> void {
      for (const auto& mesh : group.meshes)
        for (size_t f = 0; f < mesh->FaceCount(); ++f)
          if (const auto it = mergedInto.find(mesh->FaceMaterial(f)); it != mergedInto.end())
            mesh->SetFaceMaterial(f, it->second);
      for (const auto& child : group.children)
        self(self, *child);
    };
    repoint(repoint, context.document.Root());
  }

  // The transcript, while the merged materials still have their names.
  if (rebased)
    context.log << "rebased " << rebased << " texture name" << (rebased == 1 ? "" : "s") << " of "
                << rebasedMaterials.size() << " material"
                << (rebasedMaterials.size() == 1 ? "" : "s") << " to " << TextureName(*rebase)
                << "/\n";
  if (textured)
    context.log << textured << " material" << (textured == 1 ? "" : "s") << " textured with "
                << TextureName(*texture) << "\n";
  if (given)
    context.log << given << " untextured material" << (given == 1 ? "" : "s") << " given "
                << TextureName(*untextured) << "\n";
  if (!mergedInto.empty()) {
    std::map<HostMaterial*, std::vector<std::string>> into;
    for (Planned& p : plan)
      if (const auto it = mergedInto.find(p.material); it != mergedInto.end())
        into[it->second].push_back(Quoted(p.material->name));
    context.log << "merged " << mergedInto.size() << " material"
                << (mergedInto.size() == 1 ? "" : "s") << " into the equal ones before them:";
    size_t shown = 0;
    for (Planned* p : kept) {
      const auto it = into.find(p->material);
      if (it == into.end()) continue;
      if (shown++ == 3) {
        context.log << " ...";
        break;
      }
      std::string list;
      for (size_t i = 0; i < it->second.size() && i < 3; ++i)
        list += (i ? ", " : "") + it->second[i];
      if (it->second.size() > 3) list += " and " + std::to_string(it->second.size() - 3) + " more";
      context.log << (shown > 1 ? ";" : "") << " " << list << " into " << Quoted(p->material->name);
    }
    context.log << "\n";
  }
  for (const auto& [merged, into] : mergedInto)
    context.document.RemoveMaterial(*merged);
  if (!names.empty()) {
    for (Planned* p : kept)
      p->material->name = p->name;
    context.log << "renamed " << names.size() << " material" << (names.size() == 1 ? "" : "s")
                << ":";
    for (size_t i = 0; i < names.size() && i < 3; ++i)
      context.log << (i ? "," : "") << " " << Quoted(names[i].first) << " → "
                  << Quoted(names[i].second);
    if (names.size() > 3) context.log << " and " << names.size() - 3 << " more";
    context.log << "\n";
  }
}

}  // namespace

PrepStepInfo MaterialsStep() {
  return {
      "materials",
      "gives materials textures, points texture names at a folder, merges equal materials and "
      "renames them",
      {{"material", "PATTERN",
        "the materials to change: a shell wildcard on their names (\"*\" any text, \"?\" one "
        "character, \"[...]\" one of a set); may be given more than once. Default: the materials "
        "of the selected objects' faces, with nothing selected every material of the document",
        true},
       {"texture", "FILE",
        "the diffuse texture of every chosen material: a file relative to the current folder, "
        "or absolute (the material names it from the scene's folder)"},
       {"untextured", "FILE",
        "the diffuse texture of each chosen material that has none: a file relative to the "
        "current folder, or absolute (the material names it from the scene's folder)"},
       {"rebase", "DIR",
        "points every texture of the chosen materials (diffuse, bump, detail, specular, "
        "environment) at DIR/<its file name>; DIR relative to the current folder, or absolute. "
        "Done before --texture and --untextured, which name their file as given"},
       {"merge-equal", "",
        "makes materials equal in everything but their name one: their faces take the first "
        "(in document order) and the others are removed"},
       {"rename", "TEMPLATE",
        "renames the chosen materials (after --merge-equal): {name} the old name, {n} a counter "
        "from 1 in document order ({n:3} zero-padded to 3 digits), {{ and }} a brace. A name "
        "another material has takes \"_2\", \"_3\", ..."}},
      Materials};
}

}  // namespace vlm::host
