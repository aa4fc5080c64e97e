// The demo's animated pixel-art scene, drawn in software into a low-resolution 16-bit
// image ("art pixels") that is later enlarged to the 640 x 480 frame. It holds what
// shows how filters differ: colour gradients, checkerboards, a fan of diagonal lines,
// text, a flat area with round and slanted shapes, a brick wall and outlined sprites.
#pragma once

#include "image.h"

constexpr int kFrameWidth = 640;   // the frame (back buffer and client area), pixels
constexpr int kFrameHeight = 480;
constexpr double kSceneFramesPerSecond = 30.0;  // scene time advanced by each frame

// Art image size for a pixel size of n screen pixels per art pixel: the frame divided
// by n, rounded up so that the enlarged image covers the whole frame.
int ArtWidth(int pixelSize);
int ArtHeight(int pixelSize);

// Draws the scene at `seconds` of scene time over the whole of art (any size).
void DrawScene(Image565& art, double seconds);
