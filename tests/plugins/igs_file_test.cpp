#include "trackline/igs_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "support/igs_contents.h"

namespace vlm::igs {
namespace {

using ::testing::ElementsAre;

// Expected bytes, spelled out by offset.
class Bytes {
 public:
  explicit Bytes(size_t size) : b_(size, '\0') {}
  Bytes& I32(size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k)
      b_.at(at + static_cast<size_t>(k)) = static_cast<char>((v >> (8 * k)) & 0xFF);
    return *this;
  }
  Bytes& F32(size_t at, float v) { return I32(at, std::bit_cast<uint32_t>(v)); }
  Bytes& Text(size_t at, std::string_view text) {
    b_.replace(at, text.size(), text);
    return *this;
  }
  const std::string& str() const { return b_; }

 private:
  std::string b_;
};

std::string ChunkHeader() {
  return Bytes(44).Text(0, "Texture name table").I32(32, 2).I32(36, 44).str();
}

HeldVertex VertexAt(float x, int32_t material) {
  HeldVertex v{};
  v.position[0] = x;
  v.material = RecordIndex{material};
  return v;
}

// One mesh of one triangle with material `material`, drawn by one block.
IgsFile OneTriangle(int32_t material) {
  IgsFile f;
  f.PrepareHeader();
  MeshRecords mesh;
  for (int k = 0; k < 3; ++k)
    mesh.vertices.push_back(VertexAt(static_cast<float>(k), material));
  HeldTriangle t{};
  t.vertices[0] = RecordIndex{0}, t.vertices[1] = RecordIndex{2}, t.vertices[2] = RecordIndex{1};
  t.material = RecordIndex{material};
  mesh.triangles.push_back(t);
  f.meshes.push_back(mesh);
  BlockRecords block;
  StoreText(block.block.name, "1_1000_Box", "The block name");
  block.block.parent = RecordIndex{-1};
  block.meshRefs.push_back({700.0f, RecordIndex{0}, {}});
  f.blocks.push_back(block);
  return f;
}

IgsMaterial WithStages(std::initializer_list<int32_t> textures) {
  IgsMaterial m{};
  for (int32_t t : textures)
    m.stages[m.stageCount++].texture = t;
  return m;
}

TEST(IgsRecords, NumbersAreLittleEndianAndRecordsKeepTheirSize) {
  std::string out;
  WriteRecord(out, IgsMeshRef{700.0f, RecordIndex{0x01020304}, {}});
  ASSERT_EQ(out.size(), 56u);
  EXPECT_EQ(out.substr(0, 8), std::string("\x00\x00\x2F\x44\x04\x03\x02\x01", 8));
  EXPECT_EQ(out.substr(8), std::string(48, '\0'));

  out.clear();
  WriteRecord(out, IgsMaterial{});
  WriteRecord(out, IgsBlock{});
  WriteRecord(out, IgsVertex{});
  EXPECT_EQ(out.size(), 1788u + 260u + 240u);
}

TEST(IgsRecords, TextsFillTheirFieldAndLongerOnesStop) {
  char field[32];
  std::memset(field, 'x', sizeof field);
  StoreText(field, std::string(31, 'a'), "The block name");
  EXPECT_EQ(std::string(field, 32), std::string(31, 'a') + '\0');
  StoreText(field, std::string(32, 'b'), "The block name");  // no 0 after it
  EXPECT_EQ(std::string(field, 32), std::string(32, 'b'));
  StoreText(field, "ab", "The block name");  // a shorter text clears the rest
  EXPECT_EQ(std::string(field, 32), "ab" + std::string(30, '\0'));
  try {
    StoreText(field, std::string(33, 'c'), "The block name");
    FAIL() << "a 33-character name was stored";
  } catch (const ExportStopped& e) {
    EXPECT_EQ(e.Description(), "The block name \"" + std::string(33, 'c') +
                                   "\" is 33 characters long; the limit is 32.");
  }
  EXPECT_EQ(std::string(field, 2), "ab");  // untouched by the failed store
}

TEST(IgsRecords, TextIsWrittenInEightBitCharacters) {
  EXPECT_EQ(ToAnsi("Tür"), "T\xFCr");
  EXPECT_EQ(ToAnsi("日本"), "??");
  EXPECT_EQ(ToAnsi(std::string("a\xFF", 2)), std::string("a\xFF", 2));  // not UTF-8: kept
  char field[4];
  StoreText(field, "Türe", "The name");  // four characters, five UTF-8 bytes: it fits
  EXPECT_EQ(std::string(field, 4), "T\xFCre");
}

TEST(IgsFileLayout, AnEmptyFileIsTheHeaderAndTheChunkHeader) {
  IgsFile f;
  f.PrepareHeader();
  f.AdjustPointers({});
  const float tint = std::bit_cast<float>(0x3ECACACCu);
  const std::string header = Bytes(216)
                                 .Text(0, "KIGF")
                                 .I32(4, 151)
                                 .Text(8, "SHAPE")
                                 .Text(24, "Vellum IGS Export by Ardo Venmark 2011")
                                 .I32(96, 216)  // blocks, meshes: empty arrays at 216
                                 .I32(104, 216)
                                 .I32(120, 216)
                                 .F32(132, tint)
                                 .F32(136, tint)
                                 .F32(140, tint)
                                 .str();
  EXPECT_EQ(f.TakeBytes(), header + ChunkHeader());
}

TEST(IgsFileLayout, WithoutTexturesTheFileEndsWithTheChunkHeader) {
  IgsFile f = OneTriangle(0);
  f.materials.push_back(WithStages({0}));
  f.AdjustPointers({});
  const std::string bytes = f.TakeBytes();
  ASSERT_EQ(bytes.size(), 216u + 1788 + 3 * 240 + 92 + 100 + 56 + 260 + 44);
  EXPECT_EQ(bytes.substr(bytes.size() - 44), ChunkHeader());
  host::IgsContents igs = test::ReadIgs(bytes);
  EXPECT_EQ(test::RawHeader(bytes).I32(164), 0);
  EXPECT_EQ(test::RawHeader(bytes).I32(212), 0);
  EXPECT_EQ(igs.meshes[0].vertexArray, 216u + 1788);  // vertices right after the material
  EXPECT_EQ(test::RawTriangle(bytes, igs.meshes[0], 0).I32(32), 216);
  EXPECT_THAT(igs.meshes[0].triangles[0].vertices, ElementsAre(0, 2, 1));
  EXPECT_EQ(test::RawVertex(bytes, igs.meshes[0], 2).I32(116), 216);
}

TEST(IgsFileLayout, WithoutMaterialsTheVerticesStartAt216) {
  IgsFile f = OneTriangle(0);
  f.meshes[0].triangles.clear();
  for (auto& v : f.meshes[0].vertices)
    v.material = RecordIndex{0};
  f.AdjustPointers({});
  EXPECT_EQ(f.header.materialArray, FileOffset{216});
  EXPECT_EQ(f.meshes[0].mesh.vertexArray, FileOffset{216});
}

TEST(IgsFileLayout, TwoTexturedStagesGiveTwoNamesAndTheirNumbers) {
  IgsFile f = OneTriangle(1);
  f.materials.push_back(WithStages({1, 2}));
  f.materials.push_back(WithStages({0, 1}));  // a file is named once per stage that uses it
  f.AdjustPointers({"textures\\a", "textures\\bb"});
  EXPECT_EQ(f.materials[0].stages[0].texture, 10);
  EXPECT_EQ(f.materials[0].stages[1].texture, 11);
  EXPECT_EQ(f.materials[1].stages[0].texture, 0);
  EXPECT_EQ(f.materials[1].stages[1].texture, 111);
  const std::string bytes = f.TakeBytes();

  host::IgsContents igs = test::ReadIgs(bytes);
  EXPECT_EQ(test::RawHeader(bytes).I32(164), 1);
  EXPECT_EQ(static_cast<uint32_t>(test::RawHeader(bytes).I32(212)), igs.chunkOffset);
  EXPECT_THAT(igs.textureNames, ElementsAre("textures\\a", "textures\\bb", "textures\\a"));
  const std::string body = Bytes(8 + 12)
                               .I32(0, 11 + 12 + 11)  // the string area: each name and its 0
                               .I32(4, 3)
                               .I32(8, 0)
                               .I32(12, 11)
                               .I32(16, 23)
                               .str() +
                           std::string("textures\\a\0textures\\bb\0textures\\a\0", 34);
  EXPECT_EQ(bytes.substr(igs.chunkOffset), ChunkHeader() + body);
}

TEST(IgsFileLayout, OneBlockWithOneMesh) {
  IgsFile f = OneTriangle(0);
  f.materials.push_back(WithStages({0}));
  f.AdjustPointers({});
  const std::string bytes = f.TakeBytes();
  host::IgsContents igs = test::ReadIgs(bytes);
  ASSERT_EQ(igs.blocks.size(), 1u);
  const test::IgsRaw block = test::RawAt(bytes, igs.blocks[0].offset, 260);
  EXPECT_EQ(block.I32(108), 0);
  EXPECT_EQ(block.I32(112), 0);
  EXPECT_EQ(block.I32(36), 1);
  const size_t refAt = static_cast<size_t>(block.I32(40));
  const test::IgsRaw meshRef = test::RawAt(bytes, refAt, 56);
  EXPECT_EQ(meshRef.F32(0), 700.0f);
  EXPECT_EQ(meshRef.I32(4), test::RawHeader(bytes).I32(104));
  EXPECT_EQ(refAt + 56,
            static_cast<size_t>(test::RawHeader(bytes).I32(96)));  // the block array follows
}

TEST(IgsFileLayout, BlocksPointAtTheirParentsAndChildren) {
  IgsFile f = OneTriangle(0);
  f.materials.push_back(WithStages({0}));
  f.meshes.push_back(f.meshes[0]);
  f.meshes.push_back(MeshRecords{});  // an empty mesh still has its place
  for (int b = 1; b < 3; ++b) {
    BlockRecords child;
    child.block.parent = RecordIndex{0};
    child.meshRefs.push_back({700.0f, RecordIndex{b}, {}});
    f.blocks[0].block.children[f.blocks[0].block.childCount++] = RecordIndex{b};
    f.blocks.push_back(child);
  }
  f.AdjustPointers({});
  const std::string bytes = f.TakeBytes();
  host::IgsContents igs = test::ReadIgs(bytes);
  ASSERT_EQ(igs.blocks.size(), 3u);
  EXPECT_EQ(igs.blocks[0].parent, -1);
  EXPECT_THAT(igs.blocks[0].children, ElementsAre(1, 2));
  EXPECT_EQ(igs.blocks[2].parent, 0);
  EXPECT_THAT(igs.blocks[2].meshes, ElementsAre(2));
  EXPECT_EQ(igs.meshes[1].vertexArray, 216u + 1788 + 3 * 240);  // after the first mesh's vertices
  EXPECT_TRUE(igs.meshes[2].vertices.empty());
}

TEST(IgsFileLayout, AMeshThatRepeatsAnEarlierOneIsWrittenAsItsCopy) {
  // Enough triangles that the arrays go out in several pieces.
  IgsFile copied = OneTriangle(0);
  copied.materials.push_back(WithStages({0}));
  MeshRecords& first = copied.meshes[0];
  first.triangles.resize(4000, first.triangles[0]);
  IgsFile repeated = copied;
  MeshRecords repeat;
  repeat.repeats = 0;
  for (IgsFile* f : {&copied, &repeated}) {
    f->meshes.push_back(MeshRecords{});
    f->meshes.push_back(f == &copied ? f->meshes[0] : repeat);
    f->meshes.push_back(f == &copied ? f->meshes[0] : repeat);
    f->AdjustPointers({});
  }
  const std::string bytes = copied.TakeBytes();
  EXPECT_EQ(repeated.TakeBytes(), bytes);
  host::IgsContents igs = test::ReadIgs(bytes);
  ASSERT_EQ(igs.meshes.size(), 4u);
  EXPECT_EQ(igs.meshes[3].vertexArray, 216u + 1788 + 2 * 3 * 240);  // its own vertices
  EXPECT_EQ(igs.meshes[3].triangles.size(), 4000u);

  // A repeat names an earlier mesh with arrays of its own.
  for (int32_t bad : {3, 4, 2}) {
    IgsFile f = OneTriangle(0);
    f.materials.push_back(WithStages({0}));
    for (int k = 0; k < 3; ++k)
      f.meshes.push_back(repeat);
    f.meshes[3].repeats = bad;
    f.meshes[2].repeats = bad == 2 ? 0 : -1;
    EXPECT_THROW(f.AdjustPointers({}), Error) << bad;
  }
}

TEST(IgsFileLayout, AStreamedFileIsTheFileWrittenWhole) {
  // Files of several meshes, repeats among them; streamed, each mesh with arrays of its own is
  // built when its vertices are reached, and the bytes are those of the file built first.
  auto textured = [] {
    IgsFile f = OneTriangle(1);
    f.materials.push_back(WithStages({1}));
    f.materials.push_back(WithStages({2, 1}));
    f.meshes[0].triangles.resize(5000, f.meshes[0].triangles[0]);  // several pieces
    return f;
  };
  auto withMeshes = [&](std::initializer_list<int32_t> repeats) {
    IgsFile f = textured();
    for (const int32_t r : repeats) {
      MeshRecords mesh = f.meshes[0];
      mesh.mesh.min[0] = static_cast<float>(f.meshes.size());
      if (r >= 0) mesh = MeshRecords{f.meshes[static_cast<size_t>(r)].mesh, {}, {}, r};
      f.meshes.push_back(mesh);
      BlockRecords block = f.blocks[0];
      block.block.parent = RecordIndex{0};
      block.meshRefs[0].mesh = RecordIndex{static_cast<int32_t>(f.meshes.size()) - 1};
      f.blocks[0].block.children[f.blocks[0].block.childCount++] =
          RecordIndex{static_cast<int32_t>(f.blocks.size())};
      f.blocks.push_back(block);
    }
    return f;
  };
  const struct {
    const char* name;
    IgsFile file;
    std::vector<size_t> built;
  } cases[] = {
      {"one mesh", textured(), {0}},
      {"no meshes", IgsFile{}, {}},
      {"meshes of their own", withMeshes({-1, -1}), {0, 1, 2}},
      {"repeats of the first and of a later one", withMeshes({0, -1, 2, 0}), {0, 2}},
  };
  for (const auto& c : cases) {
    IgsFile whole = c.file;
    whole.PrepareHeader();
    whole.AdjustPointers({"textures\\a", "textures\\b"});
    IgsFile streamed = c.file;
    streamed.PrepareHeader();
    streamed.PrepareNames({"textures\\a", "textures\\b"});
    // The meshes the builder makes are empty until it is called.
    std::vector<MeshRecords> held;
    for (MeshRecords& mesh : streamed.meshes)
      held.push_back(std::exchange(mesh, MeshRecords{{}, {}, {}, mesh.repeats}));
    std::vector<size_t> built;
    StringSink sink;
    sink.Write("before");  // a file may start anywhere in its sink
    streamed.StreamTo(sink, [&](size_t index, MeshRecords& mesh) {
      built.push_back(index);
      mesh = held.at(index);
    });
    EXPECT_EQ(built, c.built) << c.name;
    EXPECT_EQ(sink.Text(), "before" + whole.TakeBytes()) << c.name;
  }
}

TEST(IgsFileLimits, AStreamedFileStopsOnceItPassesItsOffsets) {
  // A sink that keeps nothing.
  class Nowhere : public OutputSink {
   public:
    Nowhere() : OutputSink(1 << 16) {}

   private:
    void Take(std::string_view) override {}
    void TakeAt(uint64_t, std::string_view) override {}
    void TakeCopy(uint64_t, uint64_t) override {}
  };
  // A mesh of 24 MB of vertices and 89 repeats of it: the last one's vertices pass the offsets.
  IgsFile f = OneTriangle(0);
  f.materials.push_back(WithStages({0}));
  for (int k = 0; k < 89; ++k)
    f.meshes.push_back(MeshRecords{{}, {}, {}, 0});
  f.PrepareHeader();
  f.PrepareNames({});
  Nowhere nowhere;
  size_t built = 0;
  try {
    f.StreamTo(nowhere, [&](size_t, MeshRecords& mesh) {
      ++built;
      mesh.vertices.resize(100000, VertexAt(0, 0));
    });
    FAIL() << "the file was written";
  } catch (const ExportStopped& e) {
    EXPECT_THAT(e.Description(), ::testing::HasSubstr("bytes long; its 32-bit offsets reach "
                                                      "2147483647 at most."));
  }
  EXPECT_EQ(built, 1u);
}

TEST(IgsFileLimits, TheNameTableHoldsAHundredAndOneNames) {
  IgsFile f = OneTriangle(0);
  for (int i = 0; i < 25; ++i)
    f.materials.push_back(WithStages({1, 1, 1, 1}));
  f.materials.push_back(WithStages({1}));
  f.AdjustPointers({"textures\\a"});  // 101 names fit
  EXPECT_EQ(f.textureNames.size(), 101u);

  IgsFile over = OneTriangle(0);
  for (int i = 0; i < 26; ++i)
    over.materials.push_back(WithStages({1, 1, 1, 1}));
  try {
    over.AdjustPointers({"textures\\a"});
    FAIL() << "104 names were accepted";
  } catch (const ExportStopped& e) {
    EXPECT_EQ(e.Description(),
              "The texture name table would hold 104 names (one per textured stage); the limit is "
              "101.");
  }
  EXPECT_EQ(over.materials[0].stages[0].texture, 1);  // nothing was renumbered
  EXPECT_EQ(over.meshes[0].triangles[0].material.Index(), RecordIndex{0});
}

}  // namespace
}  // namespace vlm::igs
