// The 3D view's camera (see camera.h).
#include "workbench/camera.h"

#include <algorithm>
#include <cmath>

namespace vlm::workbench {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180;
// Degrees of turn per pixel dragged.
constexpr double kOrbitSpeed = 0.4;

Vec3 ToVec(double x, double y, double z) {
  return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
}

}  // namespace

void Camera::SetViewport(int width, int height) {
  width_ = std::max(width, 1);
  height_ = std::max(height, 1);
}

void Camera::SetSceneBounds(Vec3 min, Vec3 max) {
  sceneCentre_ = (min + max) * 0.5f;
  sceneRadius_ = std::max(0.5 * Length(max - min), 1e-3);
}

void Camera::Frame(Vec3 min, Vec3 max) {
  target_ = (min + max) * 0.5f;
  const double radius = std::max(0.5 * Length(max - min), 1e-3);
  const double halfV = 0.5 * kFieldOfView * kDegree;
  const double halfH = std::atan(std::tan(halfV) * width_ / height_);
  distance_ = radius / std::sin(std::min(halfV, halfH)) * 1.05;
}

void Camera::ViewFrom(CameraView view) {
  switch (view) {
    case CameraView::Front:
      yaw_ = 0, pitch_ = 0;
      break;
    case CameraView::Top:
      yaw_ = 0, pitch_ = 90;
      break;
    case CameraView::Side:
      yaw_ = 90, pitch_ = 0;
      break;
    // The same views from the other way.
    case CameraView::Back:
      yaw_ = 180, pitch_ = 0;
      break;
    case CameraView::Bottom:
      yaw_ = 0, pitch_ = -90;
      break;
    case CameraView::OtherSide:
      yaw_ = -90, pitch_ = 0;
      break;
  }
}

void Camera::Orbit(double dx, double dy) {
  yaw_ = std::remainder(yaw_ - dx * kOrbitSpeed, 360.0);
  pitch_ = std::clamp(pitch_ + dy * kOrbitSpeed, -90.0, 90.0);
}

double Camera::HalfHeight() const {
  return distance_ * std::tan(0.5 * kFieldOfView * kDegree);
}

void Camera::Pan(double dx, double dy) {
  const double perPixel = 2 * HalfHeight() / height_;
  target_ = target_ + Right() * static_cast<float>(-dx * perPixel) +
            Up() * static_cast<float>(dy * perPixel);
}

void Camera::Zoom(double factor) {
  distance_ = std::clamp(distance_ * factor, sceneRadius_ * 1e-4, sceneRadius_ * 1e3);
}

void Camera::Set(Vec3 target, double distance, double yawDegrees, double pitchDegrees) {
  target_ = target;
  distance_ = std::max(distance, 1e-6);
  yaw_ = yawDegrees;
  pitch_ = std::clamp(pitchDegrees, -90.0, 90.0);
}

Vec3 Camera::Back() const {
  const double y = yaw_ * kDegree, p = pitch_ * kDegree;
  return ToVec(std::cos(p) * std::sin(y), std::sin(p), std::cos(p) * std::cos(y));
}

Vec3 Camera::Right() const {
  const double y = yaw_ * kDegree;
  return ToVec(std::cos(y), 0, -std::sin(y));
}

Vec3 Camera::Up() const {
  return Cross(Back(), Right());
}

Vec3 Camera::Eye() const {
  return target_ + Back() * static_cast<float>(distance_);
}

// Perspective: the planes around the scene's sphere, the near one in front of the eye.
// Orthographically the near plane may lie behind the eye: what is drawn is the scene's depth
// along the view, wherever the eye is.
double Camera::FarPlane() const {
  const double d =
      orthographic_ ? -PreciseDot(sceneCentre_ - Eye(), Back()) : Length(Eye() - sceneCentre_);
  return d + sceneRadius_ * 1.1 + 1e-6;
}

double Camera::NearPlane() const {
  if (orthographic_) return -PreciseDot(sceneCentre_ - Eye(), Back()) - sceneRadius_ * 1.1;
  const double d = Length(Eye() - sceneCentre_);
  return std::max(FarPlane() * 1e-4, d - sceneRadius_ * 1.1);
}

Mat4 Camera::ViewMatrix() const {
  const Vec3 r = Right(), u = Up(), b = Back(), eye = Eye();
  Mat4 m = Mat4::Identity();
  const Vec3 axes[3] = {r, u, b};
  for (int column = 0; column < 3; ++column) {
    m(0, column) = axes[column].x;
    m(1, column) = axes[column].y;
    m(2, column) = axes[column].z;
    m(3, column) = -Dot(axes[column], eye);
  }
  return m;
}

Mat4 Camera::ProjectionMatrix() const {
  const double n = NearPlane(), far = FarPlane();
  Mat4 m;
  if (orthographic_) {
    const double h = HalfHeight();
    m(0, 0) = static_cast<float>(height_ / (h * width_));
    m(1, 1) = static_cast<float>(1 / h);
    m(2, 2) = static_cast<float>(-2 / (far - n));
    m(3, 2) = static_cast<float>(-(far + n) / (far - n));
    m(3, 3) = 1;
    return m;
  }
  const double f = 1 / std::tan(0.5 * kFieldOfView * kDegree);
  m(0, 0) = static_cast<float>(f * height_ / width_);
  m(1, 1) = static_cast<float>(f);
  m(2, 2) = static_cast<float>((far + n) / (n - far));
  m(2, 3) = -1;
  m(3, 2) = static_cast<float>(2 * far * n / (n - far));
  return m;
}

Projected Camera::Project(Vec3 world) const {
  // In double: the eye's frame, then the perspective divide by hand.
  const Vec3 r = Right(), u = Up(), b = Back(), eye = Eye();
  const Vec3 rel = world - eye;
  const double ex = PreciseDot(rel, r), ey = PreciseDot(rel, u), ez = PreciseDot(rel, b);
  const double n = NearPlane(), far = FarPlane();
  Projected out;
  double ndcX = 0, ndcY = 0, ndcZ = 0;
  if (orthographic_) {
    const double h = HalfHeight();
    out.inFront = -ez >= n;
    ndcX = ex / (h * width_ / height_), ndcY = ey / h;
    ndcZ = (2 * ez + far + n) / (n - far);
  } else {
    const double f = 1 / std::tan(0.5 * kFieldOfView * kDegree);
    const double w = -ez;
    out.inFront = w > 0;
    if (w == 0) return out;
    ndcX = ex * f * height_ / width_ / w, ndcY = ey * f / w;
    ndcZ = ((far + n) / (n - far) * ez + 2 * far * n / (n - far)) / w;
  }
  out.x = (ndcX + 1) * 0.5 * width_;
  out.y = (1 - ndcY) * 0.5 * height_;
  out.depth = (ndcZ + 1) * 0.5;
  return out;
}

Ray Camera::RayAt(double x, double y) const {
  const double t = orthographic_ ? HalfHeight() : std::tan(0.5 * kFieldOfView * kDegree);
  const double dx = (2 * x / width_ - 1) * t * width_ / height_;
  const double dy = (1 - 2 * y / height_) * t;
  const Vec3 r = Right(), u = Up(), b = Back();
  if (orthographic_) {
    // From the point of the near plane under the cursor, straight along the view.
    const Vec3 across = ToVec(r.x * dx + u.x * dy, r.y * dx + u.y * dy, r.z * dx + u.z * dy);
    return {Eye() + across - b * static_cast<float>(NearPlane()), b * -1.0f};
  }
  const Vec3 d =
      ToVec(r.x * dx + u.x * dy - b.x, r.y * dx + u.y * dy - b.y, r.z * dx + u.z * dy - b.z);
  return {Eye(), Normalize(d)};
}

Ray Camera::RayTo(Vec3 world, float& distance) const {
  if (orthographic_) {
    const Vec3 along = Back() * -1.0f;
    const double depth = PreciseDot(world - Eye(), along) - NearPlane();
    distance = static_cast<float>(depth);
    return {world - along * distance, along};
  }
  const Vec3 towards = world - Eye();
  distance = Length(towards);
  return {Eye(), Normalize(towards)};
}

}  // namespace vlm::workbench
