// The workbench's 3D view on the benchmark grid: turning the document into triangles and its
// pick tree, picking the face under a point, the scene shown for the first time (triangles,
// tree, upload and first frame), and frames drawn while orbiting. The last two draw with
// OpenGL: run them under a display (xvfb-run -a on a machine without one; Mesa's software
// renderer then draws).
//
//   workbench_bench --case shown TRIANGLES [SCENE]  the scene shown once, from the scene file
//                                                   read (when given) to the first frame
//   workbench_bench --case orbit TRIANGLES          ten frames drawn while orbiting
// run one case once and print its time (see one_case.h).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "grid_scene.h"
#include "gui/qt_dialogs.h"
#include "one_case.h"
#include "scene/scene_file.h"
#include "workbench/pick_tree.h"
#include "workbench/scene_mesh.h"
#include "workbench/scene_view.h"

namespace {

using vlm::bench::GridScene;
using vlm::workbench::Camera;
using vlm::workbench::PickTree;
using vlm::workbench::SceneMesh;
using vlm::workbench::SceneView;

constexpr int kWidth = 1024, kHeight = 768;

// The view's size and a three-quarter view of the whole grid.
Camera GridCamera(const SceneMesh& mesh) {
  Camera camera;
  camera.SetViewport(kWidth, kHeight);
  camera.SetSceneBounds(mesh.min, mesh.max);
  camera.Frame(mesh.min, mesh.max);
  camera.Set(camera.Target(), camera.Distance(), 30, 35);
  return camera;
}

void BM_MeshAndTree(benchmark::State& state) {
  const auto doc = GridScene(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    SceneMesh mesh(*doc);
    PickTree tree(mesh);
    benchmark::DoNotOptimize(tree.NodeCount());
  }
}

// One pick at the centre of a random face, as a click on the model asks for it.
void BM_PickOneFace(benchmark::State& state) {
  const auto doc = GridScene(static_cast<int>(state.range(0)));
  const SceneMesh mesh(*doc);
  const PickTree tree(mesh);
  const Camera camera = GridCamera(mesh);
  std::mt19937 random(1);
  std::uniform_int_distribution<size_t> face(0, mesh.faces.size() - 1);
  int64_t hits = 0;
  for (auto _ : state) {
    const vlm::workbench::Projected at = camera.Project(mesh.faces[face(random)].centre);
    const auto hit = tree.Nearest(camera.RayAt(at.x, at.y), false);
    hits += hit.has_value();
  }
  state.counters["hit share"] = double(hits) / double(state.iterations());
}

// A view of the grid on screen (the application made once).
struct ShownGrid {
  explicit ShownGrid(int triangles, const char* scene = nullptr) {
    vlm::gui::EnsureApplication();
    doc = scene ? vlm::host::LoadScene(scene) : GridScene(triangles);
    view = std::make_unique<SceneView>();
    view->resize(kWidth, kHeight);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get())) std::fprintf(stderr, "no window shown\n");
    view->SetDocument(doc.get());
    view->SetCamera(GridCamera(view->Mesh()));
    view->grabFramebuffer();
  }
  std::unique_ptr<vlm::host::HostDocument> doc;
  std::unique_ptr<SceneView> view;
};

void BM_SceneShown(benchmark::State& state) {
  for (auto _ : state) {
    ShownGrid shown(static_cast<int>(state.range(0)));
    state.PauseTiming();
    shown.view.reset();
    shown.doc.reset();
    state.ResumeTiming();
  }
}

// One frame drawn after the camera turned a little.
void BM_OrbitFrame(benchmark::State& state) {
  ShownGrid shown(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Camera camera = shown.view->ViewCamera();
    camera.Orbit(4, 1);
    shown.view->SetCamera(camera);
    benchmark::DoNotOptimize(shown.view->grabFramebuffer());
  }
  state.counters["frames/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_MeshAndTree)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PickOneFace)->Arg(1000000)->Unit(benchmark::kMicrosecond);
// Drawing runs on the renderer's own threads too: these count wall-clock time.
BENCHMARK(BM_SceneShown)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_OrbitFrame)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

int RunCase(const std::string& name, int triangles, const char* scene) {
  if (name == "shown") {
    vlm::bench::MeasureOnce([&] { ShownGrid shown(triangles, scene); });
  } else if (name == "orbit") {
    ShownGrid shown(triangles);
    vlm::bench::MeasureOnce([&] {
      for (int i = 0; i < 10; ++i) {
        Camera camera = shown.view->ViewCamera();
        camera.Orbit(4, 1);
        shown.view->SetCamera(camera);
        shown.view->grabFramebuffer();
      }
    });
  } else {
    std::fprintf(stderr, "workbench_bench: no case %s\n", name.c_str());
    return 2;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--case") == 0)
    return RunCase(argv[2], std::atoi(argv[3]), argc == 5 ? argv[4] : nullptr);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
