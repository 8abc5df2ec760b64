// The workbench's 3D view on the benchmark grid: turning the document into triangles and its
// pick tree, picking the face under a point, the scene shown for the first time (triangles,
// tree, upload and first frame), and frames drawn while orbiting. The last two draw with
// OpenGL: run them under a display (xvfb-run -a on a machine without one; Mesa's software
// renderer then draws).
//
//   workbench_bench --case shown TRIANGLES [SCENE]  the scene shown once, from the scene file
//                                                   read (when given) to the first frame
//   workbench_bench --case first TRIANGLES          the grid, already in memory, given to the
//                                                   view and drawn once
//   workbench_bench --case orbit TRIANGLES          ten frames drawn while the mouse drags the
//                                                   camera round (the stand-in), then the
//                                                   full frame once it stops
//   workbench_bench --case pick TRIANGLES [SCENE]   ten clicks on faces in the workbench
//                                                   window, each to its status bar and the
//                                                   selection drawn
//   workbench_bench --case groups GROUPS            a scene file of that many groups (a
//                                                   triangle each) opened in the window, to
//                                                   its first frame
// run one case once and print its time (see one_case.h).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "grid_scene.h"
#include "gui/qt_dialogs.h"
#include "one_case.h"
#include "scene/builder.h"
#include "scene/scene_file.h"
#include "workbench/outliner.h"
#include "workbench/pick_tree.h"
#include "workbench/scene_mesh.h"
#include "workbench/scene_view.h"
#include "workbench/workbench_window.h"

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

// Runs the event loop until the view has drawn a frame more (the frames come as they would
// for the person: after update(), through the window's paint).
void WaitForFrame(SceneView& view) {
  int frames = 0;
  const QMetaObject::Connection counting =
      QObject::connect(&view, &SceneView::frameSwapped, [&] { ++frames; });
  QTimer giveUp;
  bool late = false;
  giveUp.setSingleShot(true);
  QObject::connect(&giveUp, &QTimer::timeout, [&] { late = true; });
  giveUp.start(10000);
  while (frames == 0 && !late)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QObject::disconnect(counting);
  if (late) std::fprintf(stderr, "no frame drawn\n");
}

void SendMouse(SceneView& view, QEvent::Type type, QPointF at, Qt::MouseButton button,
               Qt::MouseButtons held) {
  QMouseEvent event(type, at, view.mapToGlobal(at), button, held, Qt::NoModifier);
  QApplication::sendEvent(&view, &event);
}

// A drag of the right button (orbiting): pressed at the middle, moved a step at a time, each
// step drawn, and let go.
struct Drag {
  explicit Drag(SceneView& v) : view(v) {
    SendMouse(view, QEvent::MouseButtonPress, at, Qt::RightButton, Qt::RightButton);
  }
  void Step() {
    at += QPointF(4, 1);
    SendMouse(view, QEvent::MouseMove, at, Qt::NoButton, Qt::RightButton);
    WaitForFrame(view);
  }
  void Release() {
    SendMouse(view, QEvent::MouseButtonRelease, at, Qt::RightButton, Qt::NoButton);
    WaitForFrame(view);
  }
  SceneView& view;
  QPointF at{kWidth / 2.0, kHeight / 2.0};
};

// A home of its own for the window's settings (none are read or kept).
void UseBenchHome() {
  const std::filesystem::path home = std::filesystem::temp_directory_path() / "workbench_bench";
  std::filesystem::create_directories(home);
  setenv("VLM_HOME", home.c_str(), 1);
}

// The workbench window on screen, with a scene file open and its first frame drawn.
std::unique_ptr<vlm::workbench::WorkbenchWindow> OpenWindow() {
  vlm::gui::EnsureApplication();
  UseBenchHome();
  auto window = std::make_unique<vlm::workbench::WorkbenchWindow>();
  window->UseFreshSettings(true);
  window->resize(1400, 900);
  window->show();
  if (!QTest::qWaitForWindowExposed(window.get())) std::fprintf(stderr, "no window shown\n");
  return window;
}

bool Open(vlm::workbench::WorkbenchWindow& window, const std::string& file) {
  if (!window.OpenFile(file)) {
    std::fprintf(stderr, "workbench_bench: %s did not open\n", file.c_str());
    return false;
  }
  WaitForFrame(window.View());
  return true;
}

// A scene file of the grid, written once where none is given.
std::string GridFile(int triangles, const char* scene) {
  if (scene) return scene;
  const auto file = std::filesystem::temp_directory_path() /
                    ("workbench_bench_grid_" + std::to_string(triangles) + ".json");
  if (!std::filesystem::exists(file)) vlm::host::SaveScene(*GridScene(triangles), file);
  return file.string();
}

// `groups` groups under the root, each holding a one-triangle object: all named alike, as an
// imported model's often are, so each is told apart by its number ("Part[2]").
std::string GroupsFile(int groups) {
  const auto file = std::filesystem::temp_directory_path() /
                    ("workbench_bench_groups_" + std::to_string(groups) + ".json");
  if (std::filesystem::exists(file)) return file.string();
  vlm::host::HostDocument doc;
  for (int g = 0; g < groups; ++g) {
    const float x = static_cast<float>(g % 1000), z = static_cast<float>(g / 1000);
    vlm::host::HostNode& group = vlm::host::AddGroup(doc.Root(), "Part", {x, 0, z});
    vlm::host::AddPolygonMesh(group, "Piece", {{0, 0, 0}, {0.5f, 0, 0}, {0, 0, 0.5f}});
  }
  vlm::host::SaveScene(doc, file);
  return file.string();
}

BENCHMARK(BM_MeshAndTree)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PickOneFace)->Arg(1000000)->Unit(benchmark::kMicrosecond);
// Drawing runs on the renderer's own threads too: these count wall-clock time.
BENCHMARK(BM_SceneShown)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_OrbitFrame)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

int RunCase(const std::string& name, int triangles, const char* scene) {
  if (name == "shown") {
    vlm::bench::MeasureOnce([&] { ShownGrid shown(triangles, scene); });
  } else if (name == "first") {
    vlm::gui::EnsureApplication();
    const auto doc = GridScene(triangles);
    SceneView view;
    view.resize(kWidth, kHeight);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) std::fprintf(stderr, "no window shown\n");
    vlm::bench::MeasureOnce([&] {
      view.SetDocument(doc.get());
      WaitForFrame(view);
    });
    view.FinishBackgroundWork();
  } else if (name == "orbit") {
    ShownGrid shown(triangles);
    SceneView& view = *shown.view;
    // The person looks at the model a moment before turning it: what the view makes beside
    // its first frame is ready.
    view.FinishBackgroundWork();
    Drag drag(view);
    drag.Step();
    int standIns = 0;
    vlm::bench::MeasureOnce([&] {
      for (int i = 0; i < 10; ++i) {
        drag.Step();
        standIns += view.LastFrame().standIn;
      }
    });
    // The full frame once the drag ends, said beside the measured line (the table reads the
    // last such line).
    const vlm::bench::Usage before = vlm::bench::UsageNow();
    drag.Release();
    std::printf("stand-in frames: %d of 10; the model drawn again on letting go: %.3f s CPU\n",
                standIns, vlm::bench::UsageNow().cpu - before.cpu);
  } else if (name == "pick") {
    const std::string file = GridFile(triangles, scene);
    const auto window = OpenWindow();
    if (!Open(*window, file)) return 1;
    SceneView& view = window->View();
    view.SetCamera(GridCamera(view.Mesh()));
    WaitForFrame(view);
    view.FinishBackgroundWork();
    std::mt19937 random(1);
    std::uniform_int_distribution<size_t> face(0, view.Mesh().faces.size() - 1);
    std::vector<QPoint> points;
    for (int i = 0; i < 10; ++i)
      points.push_back(view.Project(view.Mesh().faces[face(random)].centre).toPoint());
    int reused = 0;
    vlm::bench::MeasureOnce([&] {
      for (const QPoint& at : points) {
        QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, at);
        WaitForFrame(view);
        reused += view.LastFrame().reused;
      }
    });
    std::printf("picks drawn over the picture kept: %d of 10; picked: %s\n", reused,
                window->SelectText().c_str());
  } else if (name == "groups") {
    const std::string file = GroupsFile(triangles);
    const auto window = OpenWindow();
    bool opened = false;
    vlm::bench::MeasureOnce([&] { opened = Open(*window, file); });
    if (!opened) return 1;
    // The outliner's share: filled again from the document open.
    const vlm::bench::Usage before = vlm::bench::UsageNow();
    window->Tree().SetDocument(&window->CurrentSession().Document());
    std::printf("outliner items at the top: %d, filled again in %.3f s CPU\n",
                window->Tree().topLevelItemCount(), vlm::bench::UsageNow().cpu - before.cpu);
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
