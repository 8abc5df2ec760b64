// The 3D view's camera: an eye orbiting a target point, in widget pixels, seeing in
// perspective or orthographically.
//
// The eye sits at `distance` from the target along the direction given by yaw (about +y, 0
// looking from +z) and pitch (up from the ground plane, -90 to 90 degrees); +y is up on
// screen except straight from above or below, where -z (+z) is up so that +x stays right.
// Orthographically the view is as tall as the perspective view is at the target, so a switch
// keeps what is framed the same size; rays then run parallel, along the view.
#pragma once

#include "vlm/math.h"

namespace vlm::workbench {

enum class CameraView { Front, Top, Side, Back, Bottom, OtherSide };

struct Ray {
  Vec3 origin, direction;  // direction: unit
};

// Where a world point lands: widget pixels (x right, y down), the depth between the near
// (0) and far (1) planes, and whether it lies in front of the eye at all.
struct Projected {
  double x = 0, y = 0, depth = 0;
  bool inFront = false;
};

class Camera {
 public:
  // The widget's size in pixels.
  void SetViewport(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }

  // The near and far planes are kept around the scene's bounding sphere.
  void SetSceneBounds(Vec3 min, Vec3 max);

  // Frames a box: the target at its centre, the distance that shows it whole.
  void Frame(Vec3 min, Vec3 max);
  void ViewFrom(CameraView view);
  // A mouse drag of (dx, dy) pixels: turns the eye about the target, or moves both sideways
  // with the point under the cursor.
  void Orbit(double dx, double dy);
  void Pan(double dx, double dy);
  // Moves the eye towards the target (factor < 1) or away from it.
  void Zoom(double factor);

  Vec3 Target() const { return target_; }
  double Distance() const { return distance_; }
  double Yaw() const { return yaw_; }
  double Pitch() const { return pitch_; }
  void Set(Vec3 target, double distance, double yawDegrees, double pitchDegrees);
  void SetOrthographic(bool on) { orthographic_ = on; }
  bool Orthographic() const { return orthographic_; }

  Vec3 Eye() const;
  // Unit axes of the eye: to the right of the screen, up the screen, and back (out of it).
  Vec3 Right() const;
  Vec3 Up() const;
  Vec3 Back() const;

  // Row-vector matrices (p x View x Projection), whose storage is what OpenGL reads as a
  // column-major matrix.
  Mat4 ViewMatrix() const;
  Mat4 ProjectionMatrix() const;
  Mat4 ViewProjection() const { return Multiply(ViewMatrix(), ProjectionMatrix()); }

  Projected Project(Vec3 world) const;
  // The ray from the eye through a point of the widget; orthographically, the ray along the
  // view through it, from the near plane.
  Ray RayAt(double x, double y) const;
  // The ray of RayAt that meets a world point, and how far along it the point lies.
  Ray RayTo(Vec3 world, float& distance) const;

  static constexpr double kFieldOfView = 45;  // vertical, degrees

 private:
  double NearPlane() const;
  double FarPlane() const;
  // Half the view's height at the target's distance: orthographically, everywhere.
  double HalfHeight() const;
  int width_ = 1, height_ = 1;
  Vec3 target_{};
  double distance_ = 10, yaw_ = 30, pitch_ = 25;
  Vec3 sceneCentre_{};
  double sceneRadius_ = 1;
  bool orthographic_ = false;
};

}  // namespace vlm::workbench
