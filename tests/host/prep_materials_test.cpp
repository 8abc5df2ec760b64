// The materials, rename and shorten preparation steps, and the document's RemoveMaterial.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "prep/prep_step.h"
#include "scene/builder.h"
#include "scene/scene_file.h"
#include "support/errors.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"
#include "vlm/files.h"
#include "vlm/text_encoding.h"

namespace vlm::host {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// A folder with the texture files the cases name: grey.png, brick.png and textures/brick.png.
struct TextureFolder {
  test::TempHome home;
  fs::path Path() const { return home.Path(); }
  TextureFolder() {
    fs::create_directories(Path() / "textures");
    fs::create_directories(Path() / "folder.png");
    for (const char* file : {"grey.png", "brick.png", "textures/brick.png"})
      std::ofstream(Path() / file) << "png";
  }
};

struct Outcome {
  std::string log, warnings;
};

// Runs the step in `folder` on a scene kept there, so that the files named from the current
// folder are those the scene names.
Outcome Prep(HostDocument& doc, const std::string& step, const std::vector<std::string>& options,
             const fs::path& folder) {
  struct InFolder {
    fs::path was = fs::current_path();
    explicit InFolder(const fs::path& f) {
      if (!f.empty()) fs::current_path(f);
    }
    ~InFolder() { fs::current_path(was); }
  } in(folder);
  std::ostringstream log;
  std::string warnings;
  RunPrepStep(doc, step, options, folder, log, [&](const std::string& w) { warnings += w + "\n"; });
  return {log.str(), warnings};
}

// Brick (textured), Glass, Glass copy (equal to Glass), Steel (another colour), each on an
// object of the group "G"; Glass copy also on an object of the group "H".
struct MaterialScene {
  HostDocument doc;
  HostMaterial& brick = doc.NewMaterial("Brick");
  HostMaterial& glass = doc.NewMaterial("Glass");
  HostMaterial& glassCopy = doc.NewMaterial("Glass copy");
  HostMaterial& steel = doc.NewMaterial("Steel");
  HostNode& g = AddGroup(doc.Root(), "G");
  HostNode& h = AddGroup(doc.Root(), "H");
  MaterialScene() {
    brick.SetDiffuseTexture("brick.png");
    steel.diffuse = {0.5f, 0.5f, 0.6f};
    AddBox(g, "Wall", {}, {1, 1, 1}, &brick);
    AddBox(g, "Window", {}, {1, 1, 1}, &glass);
    AddBox(g, "Pane", {}, {1, 1, 1}, &glassCopy);
    AddBox(g, "Beam", {}, {1, 1, 1}, &steel);
    AddBox(h, "Skylight", {}, {1, 1, 1}, &glassCopy);
  }
  // "name:diffuse" of every material, in document order.
  std::vector<std::string> Materials() const {
    std::vector<std::string> out;
    for (const auto& m : doc.Materials())
      out.push_back(m->name + ":" + m->diffuseMap);
    return out;
  }
};

TEST(PrepMaterials, EachOptionChangesTheChosenMaterials) {
  const struct {
    std::vector<std::string> options;
    std::string select;  // an object of G whose materials are the default choice
    std::vector<std::string> materials;
    std::string log;
  } cases[] = {
      {{"texture=grey.png"},
       "",
       {"Brick:grey.png", "Glass:grey.png", "Glass copy:grey.png", "Steel:grey.png"},
       "4 materials textured with grey.png"},
      {{"texture=./textures/../grey.png"},
       "",
       {"Brick:grey.png", "Glass:grey.png", "Glass copy:grey.png", "Steel:grey.png"},
       "4 materials textured with grey.png"},
      {{"untextured=grey.png"},
       "",
       {"Brick:brick.png", "Glass:grey.png", "Glass copy:grey.png", "Steel:grey.png"},
       "3 untextured materials given grey.png"},
      {{"material=Gl*", "material=St?el", "texture=grey.png"},
       "",
       {"Brick:brick.png", "Glass:grey.png", "Glass copy:grey.png", "Steel:grey.png"},
       "3 materials textured with grey.png"},
      {{"texture=grey.png"},
       "Beam",
       {"Brick:brick.png", "Glass:", "Glass copy:", "Steel:grey.png"},
       "1 material textured"},
      {{"rebase=textures/"},
       "",
       {"Brick:textures/brick.png", "Glass:", "Glass copy:", "Steel:"},
       "rebased 1 texture name of 1 material to textures/"},
      {{"rebase=textures", "untextured=grey.png"},
       "",
       {"Brick:textures/brick.png", "Glass:grey.png", "Glass copy:grey.png", "Steel:grey.png"},
       "3 untextured materials given grey.png"},
      {{"merge-equal"},
       "",
       {"Brick:brick.png", "Glass:", "Steel:"},
       "merged 1 material into the equal ones before them: \"Glass copy\" into \"Glass\""},
      {{"untextured=grey.png", "merge-equal"},
       "",
       {"Brick:brick.png", "Glass:grey.png", "Steel:grey.png"},
       "merged 1 material"},
      {{"rename=M{n:2}_{name}"},
       "",
       {"M01_Brick:brick.png", "M02_Glass:", "M03_Glass copy:", "M04_Steel:"},
       "renamed 4 materials: \"Brick\" → \"M01_Brick\""},
      {{"merge-equal", "rename=mat{n}"},
       "",
       {"mat1:brick.png", "mat2:", "mat3:"},
       "renamed 3 materials"},
      // A name another material keeps, or one made twice, takes an ending.
      {{"material=Glass*", "rename=Brick"},
       "",
       {"Brick:brick.png", "Brick_2:", "Brick_3:", "Steel:"},
       "\"Glass\" → \"Brick_2\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options) + " " + c.select);
    TextureFolder folder;
    MaterialScene scene;
    if (!c.select.empty())
      scene.doc.SelectObject(*scene.doc.FindMesh("G/" + c.select, nullptr), 0, {});
    const Outcome out = Prep(scene.doc, "materials", c.options, folder.Path());
    EXPECT_EQ(scene.Materials(), c.materials);
    EXPECT_THAT(out.log, HasSubstr(c.log));
    // What the step wrote reads back as a scene.
    EXPECT_NO_THROW(ParseScene(SerializeScene(scene.doc), "written"));
  }
}

TEST(PrepMaterials, MergeEqualPointsEveryFaceAtTheFirstAndRemovesTheOthers) {
  TextureFolder folder;
  MaterialScene scene;
  const int32_t slot = scene.doc.DefineMaterialField("FS10");
  // Steel2 differs from Steel only in a custom field; Glass copy 2 is equal to Glass.
  HostMaterial& steel2 = scene.doc.NewMaterial("Steel2");
  steel2.diffuse = scene.steel.diffuse;
  steel2.fields[slot] = "1";
  HostMaterial& glass2 = scene.doc.NewMaterial("Glass copy 2");
  // An empty field is one not set; a wrap mode of its own keeps a material apart.
  scene.glass.fields[slot] = "";
  HostMaterial& clamped = scene.doc.NewMaterial("Glass clamped");
  clamped.wrapU = TextureWrap::Clamp;
  AddBox(scene.h, "Frame", {}, {1, 1, 1}, &clamped);
  AddBox(scene.h, "Rail", {}, {1, 1, 1}, &steel2);
  HostMesh& vent = AddBox(scene.h, "Vent", {}, {1, 1, 1}, &glass2);
  const Outcome out = Prep(scene.doc, "materials", {"merge-equal"}, folder.Path());
  EXPECT_EQ(scene.Materials(), (std::vector<std::string>{"Brick:brick.png", "Glass:", "Steel:",
                                                         "Steel2:", "Glass clamped:"}));
  EXPECT_EQ(scene.doc.FindMaterial("Glass copy"), nullptr);
  EXPECT_EQ(scene.doc.FindMaterial("Glass copy 2"), nullptr);
  ASSERT_NE(scene.doc.FindMaterial("Steel2"), nullptr);
  for (const char* path : {"G/Pane", "H/Skylight", "H/Vent", "G/Window"}) {
    const HostMesh& mesh = *scene.doc.FindMesh(path, nullptr);
    for (size_t f = 0; f < mesh.FaceCount(); ++f)
      EXPECT_EQ(mesh.FaceMaterial(f), &scene.glass) << path;
  }
  EXPECT_EQ(vent.Materials(false), (std::vector<HostMaterial*>{&scene.glass}));
  EXPECT_THAT(out.log, HasSubstr("merged 2 materials into the equal ones before them: \"Glass "
                                 "copy\", \"Glass copy 2\" into \"Glass\""));
  EXPECT_NO_THROW(ParseScene(SerializeScene(scene.doc), "written"));
}

TEST(PrepMaterials, RefusedValuesLeaveTheDocumentAsItWas) {
  const struct {
    std::vector<std::string> options;
    std::string message;  // "FOLDER" stands for the scene's folder
    bool nothingToDo = false;
  } cases[] = {
      {{"texture=nope.png"}, "--texture nope.png: no such file (FOLDER/nope.png)"},
      {{"untextured=folder.png"}, "--untextured folder.png: not a file (FOLDER/folder.png)"},
      {{"texture=/no/such/grey.png"}, "--texture /no/such/grey.png: no such file"},
      // Rebasing is checked before anything changes, renames included.
      {{"rebase=maps", "rename=x{n}"},
       "--rebase maps: no file \"brick.png\" (a texture of material \"Brick\") in FOLDER/maps"},
      {{"material=Wood*", "texture=grey.png"}, "--material Wood*: no material of the scene fits"},
      {{"texture=grey.png", "untextured=grey.png"}, "--untextured grey.png: --texture already"},
      {{"texture="}, "--texture: give a file name"},
      {{}, "materials needs something to do"},
      {{"material=*"}, "materials needs something to do"},
      {{"rename=x{m}"}, "--rename x{m}: {m} is no field"},
      {{"rename={1}"}, "{1} is a group of --regex, and no --regex is given"},
      {{"rename=x{n"}, "a \"{\" is left open"},
      {{"rename=x}"}, "a \"}\" closes no field"},
      {{"rename=x{n:0}"}, "{n:0} needs a width from 1 to 20 digits"},
      {{"rename={name}{{"}, "", true},  // valid, but only "{" is added: checked below
      {{"merge-equal", "material=Brick"}, "each is already as asked", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    TextureFolder folder;
    MaterialScene scene;
    const std::string before = SerializeScene(scene.doc);
    std::string message = c.message;
    if (const size_t at = message.find("FOLDER"); at != std::string::npos)
      message.replace(at, 6, folder.Path().string());
    if (c.message.empty()) {
      Prep(scene.doc, "materials", c.options, folder.Path());
      EXPECT_EQ(scene.Materials()[0], "Brick{:brick.png");
      continue;
    }
    try {
      Prep(scene.doc, "materials", c.options, folder.Path());
      ADD_FAILURE() << "not refused";
    } catch (const PrepBadValue& e) {
      EXPECT_FALSE(c.nothingToDo);
      EXPECT_THAT(e.Description(), HasSubstr(message));
    } catch (const PrepNothingToDo& e) {
      EXPECT_TRUE(c.nothingToDo) << e.Description();
      EXPECT_THAT(e.Description(), HasSubstr(message));
    }
    EXPECT_EQ(SerializeScene(scene.doc), before);
  }
}

TEST(PrepMaterials, RemoveMaterialRefusesOneStillUsed) {
  MaterialScene scene;
  HostMesh& pane = *scene.doc.FindMesh("G/Pane", nullptr);
  HostMesh& skylight = *scene.doc.FindMesh("H/Skylight", nullptr);
  const test::Failure used = test::FailureOf([&] { scene.doc.RemoveMaterial(scene.glassCopy); });
  EXPECT_EQ(used.number, err::InvalidProcedureCall);
  EXPECT_THAT(used.description, HasSubstr("\"Glass copy\" is still used by face 0 of \"G/Pane\""));
  EXPECT_NE(scene.doc.FindMaterial("Glass copy"), nullptr);

  // Faces removed but not yet compacted do not hold it back, and are left with no material.
  for (size_t f = 0; f < pane.FaceCount(); ++f)
    pane.RemoveFace(f);
  skylight.ClearFaces();
  scene.doc.RemoveMaterial(scene.glassCopy);
  EXPECT_EQ(scene.doc.FindMaterial("Glass copy"), nullptr);
  for (size_t f = 0; f < pane.FaceCount(); ++f)
    EXPECT_EQ(pane.FaceMaterial(f), nullptr);

  // A material of another document is not this one's to remove.
  HostDocument other;
  HostMaterial& stranger = other.NewMaterial("Brick");
  EXPECT_THAT(test::FailureOf([&] { scene.doc.RemoveMaterial(stranger); }).description,
              HasSubstr("not one of the document's"));
  EXPECT_NE(scene.doc.FindMaterial("Brick"), nullptr);
}

// ---- rename ----

// Every group and object path, depth first ("A", "A/o", "A/B", ...).
std::string Tree(const HostNode& node) {
  std::string out;
  for (const auto& mesh : node.meshes)
    out += mesh->Path() + " ";
  for (const auto& child : node.children)
    out += child->Path() + " " + Tree(*child);
  return out;
}

// Wall_01 { Panel, Panel_b }, Wall_02 { Panel }, Roof { Roof_tile }, and the object Sign at the
// root.
struct NameScene {
  HostDocument doc;
  NameScene() {
    HostNode& w1 = AddGroup(doc.Root(), "Wall_01");
    AddBox(w1, "Panel", {}, {1, 1, 1});
    AddBox(w1, "Panel_b", {}, {1, 1, 1});
    AddBox(AddGroup(doc.Root(), "Wall_02"), "Panel", {}, {1, 1, 1});
    AddBox(AddGroup(doc.Root(), "Roof"), "Roof_tile", {}, {1, 1, 1});
    AddBox(doc.Root(), "Sign", {}, {1, 1, 1});
  }
};

TEST(PrepRename, NamesFollowTheTemplate) {
  const struct {
    std::vector<std::string> options;
    std::string select;  // a group
    std::string tree;
    std::string log;
  } cases[] = {
      {{"match=Wall*", "to=W{n:2}"},
       "",
       "Sign W01 W01/Panel W01/Panel_b W02 W02/Panel Roof Roof/Roof_tile ",
       "renamed 2 groups: \"Wall_01\" → \"W01\", \"Wall_02\" → \"W02\""},
      {{"regex=Wall_0(\\d)", "to=Mur{1}_{{{name}}}"},
       "",
       "Sign Mur1_{Wall_01} Mur1_{Wall_01}/Panel Mur1_{Wall_01}/Panel_b Mur2_{Wall_02} "
       "Mur2_{Wall_02}/Panel Roof Roof/Roof_tile ",
       "renamed 2 groups"},
      // The counter runs in scene order over what fits: a group, its objects, its groups.
      {{"to=p{n}"}, "", "p1 p2 p2/p3 p2/p4 p5 p5/p6 p7 p7/p8 ", "renamed 3 groups and 5 objects"},
      {{"to=p{n}", "items=objects"},
       "",
       "p1 Wall_01 Wall_01/p2 Wall_01/p3 Wall_02 Wall_02/p4 Roof Roof/p5 ",
       "renamed 5 objects"},
      {{"to=p{n}", "items=groups"},
       "",
       "Sign p1 p1/Panel p1/Panel_b p2 p2/Panel p3 p3/Roof_tile ",
       ""},
      // Siblings of one kind keep apart; objects of other groups may share a name.
      {{"match=Panel*", "to=Part"},
       "",
       "Sign Wall_01 Wall_01/Part Wall_01/Part_2 Wall_02 Wall_02/Part Roof Roof/Roof_tile ",
       "1 name took an ending"},
      // A name a sibling keeps is taken too.
      {{"match=Panel_b", "to=Panel"},
       "",
       "Sign Wall_01 Wall_01/Panel Wall_01/Panel_2 Wall_02 Wall_02/Panel Roof Roof/Roof_tile ",
       "\"Panel_b\" → \"Panel_2\""},
      // Only the selected group and what is inside it.
      {{"to={name}_x"},
       "Wall_02",
       "Sign Wall_01 Wall_01/Panel Wall_01/Panel_b Wall_02_x Wall_02_x/Panel_x Roof "
       "Roof/Roof_tile ",
       "renamed 1 group and 1 object"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    NameScene scene;
    if (!c.select.empty())
      scene.doc.scriptingSelection.groups.push_back(scene.doc.FindGroup(c.select, nullptr));
    const Outcome out = Prep(scene.doc, "rename", c.options, {});
    EXPECT_EQ(Tree(scene.doc.Root()), c.tree);
    EXPECT_THAT(out.log, HasSubstr(c.log));
  }
}

TEST(PrepRename, RefusedValuesLeaveTheDocumentAsItWas) {
  const struct {
    std::vector<std::string> options;
    std::string message;
    bool nothingToDo = false;
  } cases[] = {
      {{"regex=Wall_(", "to=x"}, "--regex Wall_(: not a regular expression"},
      {{"match=*", "regex=.*", "to=x"}, "give --match or --regex, not both"},
      {{"match=*"}, "--to is needed"},
      {{"to={nom}"}, "--to {nom}: {nom} is no field"},
      {{"regex=Wall_(\\d+)", "to={2}"},
       "{2} names a group the expression does not have (it has 1)"},
      {{"to={1}"}, "no --regex is given"},
      {{"regex=(x*)Roof.*", "to={1}"}, "it makes an empty name of \"Roof\""},
      {{"to=x", "items=faces"}, "--items faces: give one of groups, objects, all"},
      {{"match=Tower*", "to=x"},
       "no group or object name of the targets fits --match Tower*",
       true},
      {{"to={name}"}, "every name that fits is already as --to makes it", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    NameScene scene;
    const std::string before = SerializeScene(scene.doc);
    try {
      Prep(scene.doc, "rename", c.options, {});
      ADD_FAILURE() << "not refused";
    } catch (const PrepBadValue& e) {
      EXPECT_FALSE(c.nothingToDo);
      EXPECT_THAT(e.Description(), HasSubstr(c.message));
    } catch (const PrepNothingToDo& e) {
      EXPECT_TRUE(c.nothingToDo) << e.Description();
      EXPECT_THAT(e.Description(), HasSubstr(c.message));
    }
    EXPECT_EQ(SerializeScene(scene.doc), before);
  }
}

TEST(PrepRename, RegexPassesOverNamesTooLongToMatchWithAWarning) {
  NameScene scene;
  AddGroup(scene.doc.Root(), std::string(100000, 'a') + "_1");
  const Outcome out = Prep(scene.doc, "rename", {"regex=(.*)_(\\d+)", "to={1}{2}"}, {});
  EXPECT_THAT(out.warnings, HasSubstr("1 name longer than 1024 bytes kept as they are"));
  EXPECT_EQ(scene.doc.Root().children[0]->name, "Wall01");
  EXPECT_EQ(scene.doc.Root().children[3]->name.size(), 100002u);
}

// ---- shorten ----

// The code points of a name (each malformed byte one).
size_t CodePoints(const std::string& name) {
  size_t count = 0;
  for (size_t at = 0; at < name.size(); ++count) {
    char32_t c;
    if (!text::NextCodePoint(name, at, c)) ++at;
  }
  return count;
}

TEST(PrepShorten, NamesFitTheLimitStayUTF8AndUnique) {
  const std::string storey = "IfcBuildingStorey_Erdgeschoß_Überstand_Nord";  // 43 characters
  const struct {
    std::vector<std::string> options;
    std::vector<std::string> groups;     // the names of the root's groups, before and after
    std::vector<std::string> expected;   // after
    std::vector<std::string> materials;  // after
    std::string log;
  } cases[] = {
      {{"max=10"},
       {storey, storey + "_2", "Roof"},
       {"IfcBuildin", "IfcBuild~2", "Roof"},
       {"Glas_Fenst", "Stahl"},
       "(49), is now \"Box_IfcBui\" (10)"},
      // A cut between the bytes of "ß" would leave text that is not UTF-8.
      {{"max=28", "items=groups"},
       {storey, "Roof"},
       {"IfcBuildingStorey_Erdgeschoß", "Roof"},
       {"Glas_Fenster_äußen", "Stahl"},
       "changed the names of 1 group to at most 28 characters"},
      {{"max=40", "plain"},
       {"Wall (left) #2", "Dach über Küche", "Roof"},
       {"Wall_left_2", "Dach_ber_K_che", "Roof"},
       {"Glas_Fenster__u_en", "Stahl"},
       "plain"},
      // A plain name that clashes with one that was plain before takes an ending.
      {{"max=40", "plain", "items=groups"},
       {"a b", "a_b", "a  b"},
       {"a_b~2", "a_b", "a_b~3"},
       {"Glas_Fenster_äußen", "Stahl"},
       "2 names took an ending"},
      {{"max=4", "items=materials"},
       {storey},
       {storey},
       {"Glas", "Stah"},
       "changed the names of 2 materials"},
      // Many names of one start within a small limit.
      {{"max=3"},
       {"abcd", "abce", "abcf", "abcg", "abch", "abci", "abcj", "abck", "abcl"},
       {"abc", "a~2", "a~3", "a~4", "a~5", "a~6", "a~7", "a~8", "a~9"},
       {"Gla", "Sta"},
       "changed the names of 9 groups, 10 objects and 2 materials"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    HostDocument doc;
    HostMaterial& glass = doc.NewMaterial("Glas_Fenster_äußen");
    HostMaterial& steel = doc.NewMaterial("Stahl");
    for (const std::string& name : c.groups)
      AddBox(AddGroup(doc.Root(), name), "Box_" + name, {}, {1, 1, 1}, &glass);
    AddBox(doc.Root(), "Beam", {}, {1, 1, 1}, &steel);
    const Outcome out = Prep(doc, "shorten", c.options, {});
    EXPECT_THAT(out.log, HasSubstr(c.log));
    std::set<std::string> names;
    for (size_t i = 0; i < c.groups.size(); ++i) {
      const std::string& name = doc.Root().children[i]->name;
      EXPECT_EQ(name, c.expected[i]);
      EXPECT_TRUE(text::IsUtf8(name)) << name;
      EXPECT_TRUE(names.insert(name).second) << name << " twice";
    }
    const size_t max = std::stoul(c.options[0].substr(4));
    const bool objects =
        c.options.back() != "items=groups" && c.options.back() != "items=materials";
    for (const auto& group : doc.Root().children) {
      const std::string& name = group->meshes[0]->name;
      EXPECT_TRUE(text::IsUtf8(name)) << name;
      if (objects) {
        EXPECT_LE(CodePoints(name), max) << name;
      }
    }
    EXPECT_EQ(glass.name, c.materials[0]);
    EXPECT_EQ(steel.name, c.materials[1]);
    EXPECT_NO_THROW(ParseScene(SerializeScene(doc), "written"));
  }
}

TEST(PrepShorten, RefusedValuesLeaveTheDocumentAsItWas) {
  const struct {
    std::vector<std::string> options;
    std::vector<std::string> groups;
    std::string message;
    bool nothingToDo = false;
  } cases[] = {
      {{}, {"abc"}, "--max is needed"},
      {{"max=0"}, {"abc"}, "--max 0: give a whole number from 1 to 1000"},
      {{"max=1001"}, {"abc"}, "--max 1001: give a whole number from 1 to 1000"},
      {{"max=2", "items=groups"}, {"abc", "abd"}, "--max 2: too short to keep"},
      {{"max=3", "items=groups"}, {"abc", "x y"}, "every name of the targets already has", true},
      {{"max=5", "plain", "items=groups"}, {"x y"}, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    HostDocument doc;
    for (const std::string& name : c.groups)
      AddGroup(doc.Root(), name);
    const std::string before = SerializeScene(doc);
    if (c.message.empty()) {
      Prep(doc, "shorten", c.options, {});
      EXPECT_EQ(doc.Root().children[0]->name, "x_y");
      continue;
    }
    try {
      Prep(doc, "shorten", c.options, {});
      ADD_FAILURE() << "not refused";
    } catch (const PrepBadValue& e) {
      EXPECT_FALSE(c.nothingToDo);
      EXPECT_THAT(e.Description(), HasSubstr(c.message));
    } catch (const PrepNothingToDo& e) {
      EXPECT_TRUE(c.nothingToDo) << e.Description();
      EXPECT_THAT(e.Description(), HasSubstr(c.message));
    }
    EXPECT_EQ(SerializeScene(doc), before);
  }
}

TEST(PrepMaterialsProgram, AMissingTextureIsBadInputNamingIt) {
  TextureFolder folder;
  MaterialScene scene;
  const fs::path file = folder.Path() / "house.json";
  SaveScene(scene.doc, file);
  const fs::path out = folder.Path() / "out.json";
  const auto result = test::Vlmhost(
      {"prep", "materials", file.string(), "--untextured", "stone.png", "-o", out.string()});
  EXPECT_EQ(result.status, 2) << result.output;
  EXPECT_THAT(result.output, HasSubstr("--untextured stone.png: no such file (" +
                                       (fs::current_path() / "stone.png").string() + ")"));
  EXPECT_FALSE(fs::exists(out));
}

// A texture is named from the current folder, as every file on the command line; the scene
// names it from its own folder, wherever it is written.
TEST(PrepMaterialsProgram, ATextureIsFoundFromTheCurrentFolder) {
  TextureFolder folder;
  MaterialScene scene;
  fs::create_directories(folder.Path() / "in");
  SaveScene(scene.doc, folder.Path() / "in" / "house.json");
  const auto result = test::Shell(
      "cd " + ShellQuoted(folder.Path().string()) + " && " + ShellQuoted(VLM_TEST_VLMHOST) +
      " prep materials in/house.json --untextured grey.png -o out.json");
  ASSERT_EQ(result.status, 0) << result.output;
  const auto out = ParseScene(ReadFile(folder.Path() / "out.json"), "out.json");
  ASSERT_NE(out->FindMaterial("Glass"), nullptr);
  EXPECT_EQ(out->FindMaterial("Glass")->diffuseMap, "grey.png");
}

}  // namespace
}  // namespace vlm::host
