#pragma once

#include <gtest/gtest.h>

#include "toolkit/canvas.h"

namespace Vy {

inline const Color kWhite{255, 255, 255, 255};
inline const Color kRed{255, 0, 0, 255};
inline const Color kBlue{0, 0, 255, 255};

// CheckShapes draws on a white surface of at least 100 x 100 and checks the pixels every
// canvas must agree on: strokes inside their rectangle, crisp edges and round corners.
// `s` has canvas() and Pixel(x, y).
template <typename SurfaceT>
void CheckShapes(SurfaceT& s) {
  s.canvas().DrawRect({10, 10, 20, 20}, kRed, 1);
  EXPECT_EQ(s.Pixel(10, 10), kRed) << "an inset stroke covers the first pixel";
  EXPECT_EQ(s.Pixel(29, 29), kRed);
  EXPECT_EQ(s.Pixel(30, 30), kWhite) << "and nothing outside";
  EXPECT_EQ(s.Pixel(9, 15), kWhite);
  EXPECT_EQ(s.Pixel(15, 15), kWhite);

  // Radius 0, or below half the pen, draws a plain (square-cornered) rectangle.
  s.canvas().DrawRoundRect({40, 10, 20, 20}, 0.5f, kBlue, 2);
  EXPECT_EQ(s.Pixel(40, 10), kBlue);
  EXPECT_EQ(s.Pixel(59, 29), kBlue);
  // A real radius leaves the corner pixel empty; a 1-pixel border keeps its far edges.
  s.canvas().DrawRoundRect({70, 10, 20, 20}, 6, kBlue, 1);
  EXPECT_EQ(s.Pixel(70, 10), kWhite);
  EXPECT_EQ(s.Pixel(80, 10), kBlue);
  EXPECT_EQ(s.Pixel(89, 20), kBlue);
  EXPECT_EQ(s.Pixel(80, 29), kBlue);

  // A radius above half the height gives round ends, not a corrupted path; 0 a rectangle.
  s.canvas().FillRoundRect({10, 50, 60, 10}, 40, kRed);
  EXPECT_EQ(s.Pixel(10, 50), kWhite);
  EXPECT_EQ(s.Pixel(40, 55), kRed);
  EXPECT_EQ(s.Pixel(12, 55), kRed);
  s.canvas().FillRoundRect({80, 50, 10, 10}, 0, kBlue);
  EXPECT_EQ(s.Pixel(80, 50), kBlue);

  s.canvas().FillEllipse({10, 70, 20, 20}, kBlue);
  EXPECT_EQ(s.Pixel(20, 80), kBlue);
  EXPECT_EQ(s.Pixel(10, 70), kWhite);

  // A vertical 1-pixel line covers exactly one column.
  s.canvas().DrawLine({50, 70}, {50, 90}, kRed, 1);
  EXPECT_EQ(s.Pixel(50, 80), kRed);
  EXPECT_EQ(s.Pixel(49, 80), kWhite);
  EXPECT_EQ(s.Pixel(51, 80), kWhite);
}

}  // namespace Vy
