// A plug-in's help: what it does and how to drive it, made from what the host knows of it and
// from its own forms, so that the control list never goes stale.
#include "run/plugin_help.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <sstream>
#include <string_view>

#include "run/plugin_forms.h"
#include "run/plugin_names.h"
#include "vlm/error.h"

namespace vlm::host {
namespace {

struct Known {
  std::string_view progId;
  std::string_view does;
  std::string_view example;  // the arguments after "vlmhost run NAME"
};

const Known kKnown[] = {
    {"VLMPlugin9.Obverse",
     "Mirrors a group and everything below it across the X, Y or Z axis and adds the mirrored "
     "copy beside it; the input box asks for the axis.",
     "examples/hangar.json --select group:Hangar/Wing --ui 'input X' -o mirrored.json"},
    {"VLMPlugin9.Ridgepull",
     "Extrudes a moulding along the outer edges of the selected faces: height, width and "
     "inset, outward or inside the faces.",
     "examples/hangar.json --select faces:Hangar/Shell:2 --ui 'txt(0)=0.3; txt(1)=0.2; "
     "chkInside=1; click OKButton' -o moulding.json"},
    {"VLMPlugin9.Stairwright",
     "Builds a straight flight of steps, two sloping side supports and the step boards between "
     "them, in a new group \"Steps\"; the dialog's preview shows the flight from the side.",
     "examples/hangar.json --ui 'txt(0)=3; txt(5)=10; click OKButton' -o steps.json"},
    {"VLMPlugin9.Shrink",
     "Moves the vertices of the selected objects or faces inward along their normals by a "
     "distance.",
     "examples/hangar.json --select object:Hangar/Wing/Spar --ui 'txt(0)=0.05; click OKButton' "
     "-o shrunk.json"},
    {"VLMOperation9.Flare",
     "Extrudes the selected polygons into a curved, stepped, bevelled flare; its four "
     "parameters are given with --param.",
     "examples/tile.json --select polygons:Tile/Face:0 --param Extrude=1 --param Bevel=0.5 "
     "--param Step=5 --param Scale=1 -o tile-flared.json"},
    {"VLMPluginImportExport9.Wingform",
     "Exports a group as X-Plane OBJ8 objects, one file per texture set, with its levels of "
     "detail; the log lines show in the dialog.",
     "examples/hangar.json --select group:Hangar --ui 'optLOD(1)=1; txtDist=3000; click cmdOK; "
     "click cmdCancel' -o hangar-lod.obj"},
    {"VLMPluginImportExport9.Trackline",
     "Exports a group as one binary rail-sim IGS geometry file, with its levels of detail. "
     "txtDefTex names a texture for materials that have none (empty: their shapes are left "
     "out); chkShortNames shortens block names over 32 characters to name~1, name~2, ...",
     "examples/hangar.json --select group:Hangar --ui 'optLOD(1)=1; click cmdOK; click "
     "cmdCancel' -o hangar-lods.igs"},
    {"VLMPlugin9.Glazier",
     "Edits the FS10 material parameters of the selected object's materials and stores them "
     "in each material's field \"FS10\"; with several materials a picker asks which.",
     "examples/hangar.json --select object:Hangar/Wing/Spar --ui 'tbsOptions=Bloom; "
     "chkBloom(1)=1; click cmdOK' -o glazed.json"},
    {"VLMPlugin9.Tether",
     "Places an FS10 attachment point (effect, library object, visibility, mouse rectangle, "
     "platform) on the selected face, or edits the object's attachments.",
     "examples/hangar.json --select faces:Hangar/Shell:2 --ui 'txtName=beacon; chk(0)=1; "
     "lstEffect=fx_beacon_red.fx; click OKButton' -o tether.json"},
    {"VLMPlugin9.Motive", "Assigns an FS10 animation and a visibility tag to the selected nodes.",
     "examples/hangar.json --select node:Hangar/Wing --ui 'cmbAnim=flap; txtName=left; click "
     "OKButton' -o motive.json"},
};

const Known* Find(const std::string& progId) {
  for (const Known& k : kKnown)
    if (k.progId == progId) return &k;
  return nullptr;
}

// The text in lines of at most `width` characters, broken at blanks.
std::string Wrapped(std::string_view text, size_t width = 90) {
  std::string out, line;
  std::istringstream words{std::string(text)};
  for (std::string word; words >> word;) {
    if (!line.empty() && line.size() + 1 + word.size() > width) out += line + "\n", line.clear();
    line += (line.empty() ? "" : " ") + word;
  }
  return out + line + "\n";
}

std::string Quoted(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The forms' controls a person or a script works with: labels and frames only name others.
void PrintControls(const nlohmann::json& forms, std::ostream& out) {
  for (const auto& form : forms) {
    out << "\n  " << form["name"].get<std::string>() << " "
        << Quoted(form["caption"].get<std::string>()) << "\n";
    std::vector<std::pair<std::string, std::string>> rows;
    size_t width = 0;
    for (const auto& c : form["controls"]) {
      const std::string kind = c["kind"].get<std::string>();
      if (kind == "label" || kind == "frame" || kind == "common dialog") continue;
      if (kind == "picture box" && c["label"].get<std::string>().empty()) continue;
      std::string rest = kind;
      if (const std::string label = c["label"].get<std::string>(); !label.empty())
        rest = Quoted(label) + " (" + kind + ")";
      if (!c["tab"].get<std::string>().empty())
        rest += " on tab " + Quoted(c["tab"].get<std::string>());
      rows.emplace_back(c["name"].get<std::string>(), rest);
      width = std::max(width, rows.back().first.size());
    }
    for (const auto& [name, rest] : rows)
      out << "    " << name << std::string(width - name.size() + 2, ' ') << rest << "\n";
  }
}

}  // namespace

std::string PluginHelp(const std::string& progId) {
  std::ostringstream out, notes;
  int status = 0;
  const nlohmann::json described = DescribeForms(progId, notes, status);
  const Known* known = Find(progId);
  const std::string name = ShortName(progId);
  out << name << " (" << progId << ")\n\n";
  if (known) out << Wrapped(known->does) << "\n";
  if (std::string selection = SelectionOf(progId); !selection.empty())
    out << Wrapped("Works on: " + selection + ".");
  const auto& forms = described["forms"];
  if (forms.empty()) {
    out << "\nIt shows no dialog of its own (at most message and input boxes).\n";
  } else {
    out << "\n"
        << Wrapped(
               "Its dialogs and their controls (the name a --ui script gives, then the label "
               "a person reads):");
    PrintControls(forms, out);
  }
  if (known) out << "\nExample:\n  vlmhost run " << name << " " << known->example << "\n";
  out << "\nvlmhost describe " << name
      << " lists every control with its value; F1 in its dialogs shows this help.\n";
  return out.str();
}

std::function<std::string(const std::string&)> HelpFor(const std::string& progId) {
  auto made = std::make_shared<std::optional<std::string>>();
  return [progId, made](const std::string&) {
    if (!*made) {
      try {
        *made = PluginHelp(ResolvePluginName(progId));
      } catch (const Error&) {
        *made = std::string();
      }
    }
    return **made;
  };
}

}  // namespace vlm::host
